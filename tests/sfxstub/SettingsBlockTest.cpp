// The settings block: its bytes at their offsets, and writing it into a stub's image in place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "abi/SfxSettings.h"

using namespace sfxsettings;

namespace {

std::string TextField(const Block& block, size_t at) { return std::string(reinterpret_cast<const char*>(&block[at])); }

// A stand-in for a stub's file: code bytes, the marker alone (as the reader's own constant lies in
// the program), then the block, then more bytes.
std::vector<uint8_t> StubImage(const Block& block) {
    std::vector<uint8_t> image(3000, 0x90);
    const std::string marker("LarkspoolSfxCfg", 16);
    image.insert(image.begin() + 100, marker.begin(), marker.end());
    image.insert(image.begin() + 1000, block.begin(), block.end());
    return image;
}

}  // namespace

TEST(SettingsBlock, DefaultBlockHoldsTheDialogDefaultsAtTheirOffsets) {
    const Block& block = kDefaultBlock;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[0]), 16), std::string("LarkspoolSfxCfg", 16));
    struct {
        size_t offset;
        uint8_t value;
    } const bytes[] = {{16, 1}, {17, 0}, {18, 0x00}, {19, 0x04}, {20, 1}, {21, 0}, {22, 0}, {23, 0}};
    for (const auto& b : bytes) EXPECT_EQ(block[b.offset], b.value) << "offset " << b.offset;
    EXPECT_EQ(TextField(block, 24), "Larkspool Freeware");
    EXPECT_EQ(TextField(block, 152), "Talvik");
    EXPECT_EQ(TextField(block, 408), "\"<?>tzip.hlp\"");
    EXPECT_EQ(block.size(), 1024u);
    // Everything after each text is zero, so equal settings give equal bytes.
    for (size_t i = 24 + 18; i < 152; ++i) ASSERT_EQ(block[i], 0) << i;
    for (size_t i = 408 + 13; i < 1024; ++i) ASSERT_EQ(block[i], 0) << i;
}

TEST(SettingsBlock, WritingTheDefaultsBackChangesNoByte) {
    std::vector<uint8_t> image = StubImage(kDefaultBlock);
    const std::vector<uint8_t> before = image;
    ASSERT_TRUE(WriteSettings(image, SfxSettings()));
    EXPECT_EQ(image, before);
}

TEST(SettingsBlock, CustomSettingsChangeOnlyTheBlockAndReadBack) {
    std::vector<uint8_t> image = StubImage(kDefaultBlock);
    const std::vector<uint8_t> before = image;
    SfxSettings custom;
    custom.caption = "Holiday photos";
    custom.productLine = "(c) 2024 Somebody";
    custom.commandLine = "<?>setup.exe /quiet";
    custom.showFileList = false;
    custom.destination = "%ProgramFiles%\\Photos";
    ASSERT_TRUE(WriteSettings(image, custom));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[1000 + 920])), "%ProgramFiles%\\Photos");
    EXPECT_EQ(image[1000 + 1015], 0);
    EXPECT_EQ(FindBlock(image), 1000);
    for (size_t i = 0; i < image.size(); ++i) {
        if (i < 1000 || i >= 1000 + kBlockSize) {
            ASSERT_EQ(image[i], before[i]) << i;
        }
    }
    SfxSettings read;
    ASSERT_TRUE(ReadBlock(image.data() + 1000, kBlockSize, read));
    EXPECT_EQ(read.caption, custom.caption);
    EXPECT_EQ(read.productLine, custom.productLine);
    EXPECT_EQ(read.commandLine, custom.commandLine);
    EXPECT_FALSE(read.showFileList);
    EXPECT_EQ(read.destination, custom.destination);

    // A resource update moves the block within the file; the marker still finds it.
    image.insert(image.begin(), 4096, 0);
    EXPECT_EQ(FindBlock(image), 1000 + 4096);
}

TEST(SettingsBlock, RefusesWhatDoesNotFit) {
    std::vector<uint8_t> image = StubImage(kDefaultBlock);
    const std::vector<uint8_t> before = image;
    const SfxSettings tooLong[] = {
        {std::string(128, 'c'), "p", "c", true, ""},
        {"c", std::string(256, 'p'), "c", true, ""},
        {"c", "p", std::string(512, 'x'), true, ""},
        {std::string("nul\0inside", 10), "p", "c", true, ""},
        {"c", "p", "c", true, std::string(96, 'd')},
    };
    for (const SfxSettings& settings : tooLong) {
        EXPECT_FALSE(WriteSettings(image, settings));
        EXPECT_EQ(image, before);
    }
    SfxSettings longest{std::string(127, 'c'), std::string(255, 'p'), std::string(511, 'x'), true,
                        std::string(95, 'd')};
    EXPECT_TRUE(WriteSettings(image, longest));

    std::vector<uint8_t> noBlock(5000, 0);
    EXPECT_EQ(FindBlock(noBlock), -1);
    EXPECT_FALSE(WriteSettings(noBlock, SfxSettings()));
    Block wrongVersion = kDefaultBlock;
    wrongVersion[16] = 2;
    EXPECT_EQ(FindBlock(StubImage(wrongVersion)), -1);
}
