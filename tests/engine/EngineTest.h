// The fixture of the bridge's tests: a test folder, a scripted user, both fake engines and a TZip
// that loads its engines from the fakes' folder; and a progress window that records its calls.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tzip/Zip.h"
#include "engine/ProgressForm.h"
#include "engine/ZipDlls.h"
#include "tests/engine/FakeEngineControl.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ZipError.h"

namespace larktest {

// What the recording window was asked to do, one line per call ("show", "max 65535", ...).
std::vector<std::string>& WindowLog();
int& WindowsMade();
std::unique_ptr<TProgressForm> MakeRecordingWindow(TZip& owner);

class EngineTest : public testing::Test {
protected:
    EngineTest();
    ~EngineTest() override;

    // Writes a small archive of stored entries into the test folder and opens it.
    std::string OpenArchive(const std::string& name = "a.zip", const std::string& comment = "");
    // The standard archive of OpenArchive, as bytes.
    static std::string ArchiveBytes(const std::string& comment = "");
    // The information box the user saw last must carry `text`.
    void ExpectInformation(const std::string& text);

    std::string savedDirectory_;
    TestFolder folder;
    ScriptedUser user;
    FakeEngine zipDll{FakeEngine::Kind::Zip};
    FakeEngine unzDll{FakeEngine::Kind::Unz};
    TZip zip;
};

}  // namespace larktest
