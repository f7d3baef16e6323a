// One fuzz input run through the end-record finder and the directory reader.
#include "tests/fuzz/FuzzDirectory.h"

#include <cstdlib>
#include <string>

#include "archive/Zip.h"
#include "platform/Platform.h"
#include "tests/support/ArchiveBuilder.h"

namespace {

// Answers every disk prompt with Cancel, so inputs that claim to be a multi-disk set end at once.
class CancellingUser final : public platform::User {
public:
    int MessageBox(const std::string&, const std::string&, unsigned) override { return platform::kIdCancel; }
    platform::Cursor SetCursor(platform::Cursor cursor) override { return cursor; }
    void ProcessMessages() override {}
    void Beep() override {}
};

const std::string& ArchivePath() {
    static const std::string path = platform::GetTempPath() + "larkfuzz-directory.zip";
    return path;
}

void CheckFinder(const std::string& bytes) {
    larktest::MemoryStream stream(bytes);
    const int32_t position = zip::FindEndOfCentralDir(stream);
    if (position == -1) return;
    // A found record lies wholly inside the input and the stream stands on it.
    if (position < 0 || static_cast<size_t>(position) + 22 > bytes.size() || stream.Position() != position)
        std::abort();
}

std::string CheckReader(const std::string& bytes) {
    larktest::WriteFileBytes(ArchivePath(), bytes);
    std::string outcome;
    TZip zip;
    try {
        zip.SetZipFileName(ArchivePath());
        outcome = std::to_string(zip.Count()) + " entries";
    } catch (const ZipException& e) {
        if (zip.Count() != 0) std::abort();  // a refused archive lists nothing
        outcome = e.what();
    }
    TFileInfo info;
    for (int32_t i = 0; i < zip.Count(); ++i) zip.GetEntry(i, info);
    platform::DeleteFile(ArchivePath());
    return outcome;
}

}  // namespace

std::string RunDirectoryInput(const uint8_t* data, size_t size) {
    static CancellingUser user;
    platform::SetCurrentUser(&user);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckFinder(bytes);
    const std::string outcome = CheckReader(bytes);
    platform::SetCurrentUser(nullptr);
    return outcome;
}
