// Comment editing, fuzzed on a scratch file: the archive object reads and rewrites files by name.
#include "tests/fuzz/FuzzTargets.h"

#include <vector>

#include "archive/Archive.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"
#include "tests/support/ArchiveBuilder.h"

namespace {

constexpr const char* kEntryComment = "fuzzed entry comment";
constexpr const char* kArchiveComment = "fuzzed archive comment";

// Removes the scratch file however the run ends.
struct ScratchFile {
    std::string path = platform::MakeProcessTempFile(platform::GetTempPath(), "lfc");
    ~ScratchFile() {
        if (!path.empty()) platform::DeleteFile(path);
    }
};

std::vector<std::string> Names(const zip::Archive& archive) {
    std::vector<std::string> names;
    for (const TFileInfo& entry : archive.Entries()) names.push_back(entry.FileName);
    return names;
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

}  // namespace

// An archive that opened, with both comments changed, opens again with the same entries and the
// new comments: an edit that went through must not leave it damaged.
std::string RunCommentInput(const uint8_t* data, size_t size) {
    ScratchFile scratch;
    if (scratch.path.empty()) return "no scratch space";
    larktest::WriteFileBytes(scratch.path, std::string(reinterpret_cast<const char*>(data), size));
    std::string refusal;
    zip::Archive archive;
    if (!Open(archive, scratch.path, refusal)) return refusal;
    const std::vector<std::string> names = Names(archive);
    const int32_t edited = archive.Count() - 1;
    try {
        if (edited >= 0) archive.SetFileComment(edited, kEntryComment);
        archive.SetZipComment(kArchiveComment);
    } catch (const ZipException& error) {
        return error.what();
    }
    const bool fileCommentSet = edited >= 0 && archive.Entries()[edited].FileComment == kEntryComment;
    const bool archiveCommentSet = archive.GetZipComment() == kArchiveComment;

    zip::Archive reopened;
    if (!Open(reopened, scratch.path, refusal) || Names(reopened) != names) Broken("an edited archive reopens with the same entries");
    if (fileCommentSet && reopened.Entries()[edited].FileComment != kEntryComment) Broken("the entry comment set is the one read back");
    if (archiveCommentSet && reopened.GetZipComment() != kArchiveComment) Broken("the archive comment set is the one read back");
    return std::to_string(names.size()) + " entries, comments " + (fileCommentSet ? "both " : "") + "set";
}
