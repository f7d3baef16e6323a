// The bridge tests' fixture and the recording progress window.
#include "tests/engine/EngineTest.h"

namespace larktest {
namespace {

class RecordingWindow final : public TProgressForm {
public:
    RecordingWindow() { ++WindowsMade(); }
    ~RecordingWindow() override { WindowLog().push_back("free"); }
    void Show() override { WindowLog().push_back("show"); }
    void Hide() override { WindowLog().push_back("hide"); }
    void SetProgressMax(int32_t n) override { WindowLog().push_back("max " + std::to_string(n)); }
    void SetProgressPosition(int32_t n) override { WindowLog().push_back("pos " + std::to_string(n)); }
    void SetStatusText(const std::string& text) override { WindowLog().push_back("text " + text); }
};

}  // namespace

std::vector<std::string>& WindowLog() {
    static std::vector<std::string> log;
    return log;
}

int& WindowsMade() {
    static int made = 0;
    return made;
}

std::unique_ptr<TProgressForm> MakeRecordingWindow(TZip&) { return std::make_unique<RecordingWindow>(); }

EngineTest::EngineTest() : savedDirectory_(platform::GetCurrentDirectory()) {
    engine::UnloadDlls();
    WindowLog().clear();
    WindowsMade() = 0;
    zip.SetProgressFormFactory(MakeRecordingWindow);
    zip.DllDirectory = FakeEngine::Folder();
}

// The operations move the current directory into the test folder, which could then not be removed.
EngineTest::~EngineTest() {
    platform::SetCurrentDirectory(savedDirectory_);
}

std::string EngineTest::ArchiveBytes(const std::string& comment) {
    return ArchiveBuilder().Add("a.txt", "alpha").Add("dir/b.txt", "bravo").Comment(comment).Bytes();
}

std::string EngineTest::OpenArchive(const std::string& name, const std::string& comment) {
    const std::string path = folder.Write(name, ArchiveBytes(comment));
    zip.SetZipFileName(path);
    return path;
}

void EngineTest::ExpectInformation(const std::string& text) {
    ASSERT_FALSE(user.Shown().empty());
    EXPECT_EQ(user.Shown().back().text, text);
    EXPECT_EQ(user.Shown().back().caption, zip::kApplicationTitle);
    EXPECT_EQ(user.Shown().back().flags, unsigned{platform::kMbOk | platform::kMbIconInformation});
}

}  // namespace larktest
