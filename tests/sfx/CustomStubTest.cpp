// A customised copy of the stub: the settings block rewritten, every other byte as the stub has it.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "sfx/CustomStub.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

using larktest::ReadFileBytes;
using larktest::StubBytes;

namespace {

TEST(CustomStubTest, RewritesOnlyTheSettingsBlock) {
    larktest::TestFolder folder;
    const sfxsettings::Block defaults = sfxsettings::kDefaultBlock;
    const std::string block(defaults.begin(), defaults.end());
    const std::string head = StubBytes(3001), tail = StubBytes(517);
    const std::string stub = folder.Write("sfx.bin", head + block + tail);
    const std::string blockless = folder.Write("plain.bin", head + tail);

    sfxsettings::SfxSettings custom;
    custom.caption = "My installer";
    custom.showFileList = false;
    sfxsettings::SfxSettings tooLong;
    tooLong.caption = std::string(sfxsettings::kMaxCaption + 1, 'c');
    struct Case {
        const char* what;
        std::string from;
        sfxsettings::SfxSettings settings;
        bool written;
    };
    const Case cases[] = {
        {"changed settings", stub, custom, true},
        {"the defaults give the stub itself", stub, sfxsettings::SfxSettings{}, true},
        {"a stub without a block", blockless, custom, false},
        {"a caption too long for its field", stub, tooLong, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = folder.Path("copy.bin");
        platform::DeleteFile(out);
        ASSERT_EQ(WriteCustomStub(c.from, c.settings, out), c.written);
        if (!c.written) {
            EXPECT_FALSE(platform::FileExists(out));
            continue;
        }
        const std::string copy = ReadFileBytes(out);
        ASSERT_EQ(copy.size(), head.size() + block.size() + tail.size());
        EXPECT_EQ(copy.substr(0, head.size()), head);
        EXPECT_EQ(copy.substr(head.size() + block.size()), tail);
        sfxsettings::SfxSettings read;
        ASSERT_TRUE(sfxsettings::ReadBlock(reinterpret_cast<const uint8_t*>(copy.data()) + head.size(), block.size(), read));
        EXPECT_EQ(read.caption, c.settings.caption);
        EXPECT_EQ(read.productLine, c.settings.productLine);
        EXPECT_EQ(read.commandLine, c.settings.commandLine);
        EXPECT_EQ(read.showFileList, c.settings.showFileList);
        EXPECT_EQ(copy == ReadFileBytes(stub), c.settings.caption == sfxsettings::kDefaultCaption);
    }
}

}  // namespace
