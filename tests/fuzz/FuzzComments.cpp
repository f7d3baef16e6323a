// Comment editing, fuzzed on a scratch file: the archive object reads and rewrites files by name.
#include "tests/fuzz/FuzzTargets.h"

#include <vector>

#include "archive/Archive.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"
#include "tests/support/ArchiveBuilder.h"
#include "zipformat/Utf8.h"

namespace {

constexpr const char* kEntryComment = "fuzzed entry comment";
// Letters the OEM page holds and letters it lacks: stored in the page or as UTF-8, it reads back.
constexpr const char* kArchiveComment = u8"fuzzed archive comment: Ölfässer, Σίσυφος";

// Removes the scratch file however the run ends.
struct ScratchFile {
    std::string path = platform::MakeProcessTempFile(platform::GetTempPath(), "lfc");
    ~ScratchFile() {
        if (!path.empty()) platform::DeleteFile(path);
    }
};

std::vector<std::string> Names(const zip::Archive& archive) {
    std::vector<std::string> names;
    for (const TFileInfo& entry : archive.EntryList()) names.push_back(entry.FileName);
    return names;
}

// Whatever the stored bytes, names and comments come out as valid UTF-8.
void CheckTexts(const zip::Archive& archive) {
    for (const TFileInfo& entry : archive.EntryList())
        if (!zip::IsValidUtf8(entry.FileName) || !zip::IsValidUtf8(entry.FileComment)) Broken("names and comments read are valid UTF-8");
    if (!zip::IsValidUtf8(archive.GetZipComment())) Broken("the archive comment read is valid UTF-8");
}

// Opens the archive, or tells why not; only the archive's own refusals are expected.
bool Open(zip::Archive& archive, const std::string& path, std::string& refusal) {
    try {
        archive.SetZipFileName(path);
        return true;
    } catch (const ZipException& error) {
        refusal = error.what();
    } catch (const platform::FileError& error) {
        refusal = error.what();
    }
    return false;
}

// Reopened, the archive has the same entries, and the comment an edit reported set.
void CheckReopened(const std::string& path, const std::vector<std::string>& names, const zip::Archive& edited) {
    zip::Archive reopened;
    std::string refusal;
    if (!Open(reopened, path, refusal) || Names(reopened) != names) Broken("an edited archive reopens with the same entries");
    const std::vector<TFileInfo> read = reopened.EntryList();
    const std::vector<TFileInfo> set = edited.EntryList();
    for (size_t i = 0; i < names.size(); ++i)
        if (read[i].FileComment != set[i].FileComment) Broken("the entry comments set are the ones read back");
    if (reopened.GetZipComment() != edited.GetZipComment()) Broken("the archive comment set is the one read back");
}

}  // namespace

// An archive that opened, with an entry's comment and then its own changed, opens again after
// each edit with the same entries and the new comment: an edit must not leave it damaged.
std::string RunCommentInput(const uint8_t* data, size_t size) {
    ScratchFile scratch;
    if (scratch.path.empty()) return "no scratch space";
    larktest::WriteFileBytes(scratch.path, std::string(reinterpret_cast<const char*>(data), size));
    std::string refusal;
    zip::Archive archive;
    if (!Open(archive, scratch.path, refusal)) return refusal;
    CheckTexts(archive);
    const std::vector<std::string> names = Names(archive);
    try {
        if (!names.empty()) {
            archive.SetFileComment(archive.Count() - 1, kEntryComment);
            CheckReopened(scratch.path, names, archive);
        }
        archive.SetZipComment(kArchiveComment);
        CheckReopened(scratch.path, names, archive);
    } catch (const ZipException& error) {
        return error.what();
    }
    return std::to_string(names.size()) + " entries, comments set";
}
