// One fuzz input through the end-record finder, directory reader, comment editor and stub stripper.
#include "tests/fuzz/FuzzDirectory.h"

#include <cstdlib>
#include <string>

#include "archive/Zip.h"
#include "platform/Platform.h"
#include "sfx/SfxUtils.h"
#include "tests/support/ArchiveBuilder.h"

namespace {

// Answers every disk prompt with Cancel, so inputs that claim to be a multi-disk set end at once.
class CancellingUser final : public platform::User {
public:
    int MessageBox(const std::string&, const std::string&, unsigned) override { return platform::kIdCancel; }
    bool InputBox(const std::string&, const std::string&, const std::string&, size_t, std::string& answer) override {
        answer.clear();
        return false;
    }
    platform::Cursor SetCursor(platform::Cursor cursor) override { return cursor; }
    void ProcessMessages() override {}
    void Beep() override {}
};

// Two scratch files of this process, unique so that a fuzzer and a replay can run side by side,
// removed when the process ends.
class ScratchFiles {
public:
    ScratchFiles()
        : archive_(platform::GetTempFileName(platform::GetTempPath(), "lfz")),
          stripped_(platform::GetTempFileName(platform::GetTempPath(), "lfz")) {}
    ~ScratchFiles() {
        platform::DeleteFile(archive_);
        platform::DeleteFile(stripped_);
    }
    const std::string& Archive() const { return archive_; }
    const std::string& Stripped() const { return stripped_; }

private:
    std::string archive_;
    std::string stripped_;
};

const ScratchFiles& Scratch() {
    static const ScratchFiles files;
    return files;
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
    larktest::WriteFileBytes(Scratch().Archive(), bytes);
    std::string outcome;
    TZip zip;
    try {
        zip.SetZipFileName(Scratch().Archive());
        outcome = std::to_string(zip.Count()) + " entries";
    } catch (const ZipException& e) {
        if (zip.Count() != 0) std::abort();  // a refused archive lists nothing
        outcome = e.what();
    }
    TFileInfo info;
    for (int32_t i = 0; i < zip.Count(); ++i) zip.GetEntry(i, info);
    // The comment editor walks the same foreign directory again, on its own.
    if (zip.Count() > 0) {
        try {
            zip.SetFileComment(zip.Count() - 1, "a comment of another length");
        } catch (const ZipException&) {
            // A refusal is a fine answer to foreign bytes; only a crash or a foreign exception is not.
        }
    }
    return outcome;
}

// The stub stripper reads the end record and the directory with its own code.
void CheckStripper(const std::string& bytes) {
    larktest::WriteFileBytes(Scratch().Archive(), bytes);
    try {
        StripSfxStub(Scratch().Archive(), Scratch().Stripped());
    } catch (const ZipException&) {
        // As above: refusing is allowed.
    }
}

}  // namespace

std::string RunDirectoryInput(const uint8_t* data, size_t size) {
    static CancellingUser user;
    platform::SetCurrentUser(&user);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckFinder(bytes);
    const std::string outcome = CheckReader(bytes);
    CheckStripper(bytes);
    platform::SetCurrentUser(nullptr);
    return outcome;
}
