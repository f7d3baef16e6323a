// The settings block a self-extracting program carries inside its own image: its layout, once,
// for the stub that reads it and for the program that writes customised copies of the stub.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sfxsettings {

// Layout of the block. It lies in the stub's read-only data, so it is both in the file (where a
// writer finds it by its marker and overwrites it in place, leaving every other byte as it was)
// and in the running program's memory (where the stub reads it). A fixed size keeps the program's
// sections as they are; resource updates (a new icon) move sections but keep their bytes, so the
// marker still finds the block afterwards.
//
// | Offset | Size | Field                                             |
// |--------|------|---------------------------------------------------|
// | 0      | 16   | marker "LarkspoolSfxCfg" and a zero byte           |
// | 16     | 2    | format version (1)                                |
// | 18     | 2    | size of the whole block (1024)                    |
// | 20     | 4    | flags: bit 0 shows the file list                  |
// | 24     | 128  | caption, zero-terminated, zero-filled             |
// | 152    | 256  | product line, zero-terminated, zero-filled        |
// | 408    | 512  | command line, zero-terminated, zero-filled        |
// | 920    | 96   | destination folder, zero-terminated, zero-filled;  |
// |        |      | empty: the program's own folder; %NAME% stands    |
// |        |      | for an environment variable (%ProgramFiles%)      |
// | 1016   | 8    | zero (room for later fields)                      |
constexpr size_t kMarker = 0;
constexpr size_t kMarkerSize = 16;
constexpr size_t kVersion = 16;
constexpr size_t kBlockSizeField = 18;
constexpr size_t kFlags = 20;
constexpr size_t kCaption = 24;
constexpr size_t kCaptionSize = 128;
constexpr size_t kProductLine = 152;
constexpr size_t kProductLineSize = 256;
constexpr size_t kCommandLine = 408;
constexpr size_t kCommandLineSize = 512;
constexpr size_t kDestination = 920;
constexpr size_t kDestinationSize = 96;
constexpr size_t kBlockSize = 1024;

constexpr uint16_t kFormatVersion = 1;
constexpr uint32_t kFlagShowFileList = 0x01;
constexpr char kMarkerText[kMarkerSize] = "LarkspoolSfxCfg";

static_assert(kDestination + kDestinationSize <= kBlockSize, "settings block fields");

// The customisation dialog's defaults, which the stub as built carries.
constexpr std::string_view kDefaultCaption = "Larkspool Freeware";
constexpr std::string_view kDefaultProductLine = "Talvik";
constexpr std::string_view kDefaultCommandLine = "\"<?>tzip.hlp\"";

// In the command line this stands for the folder the files were extracted to.
constexpr std::string_view kDestinationPlaceholder = "<?>";

using Block = std::array<uint8_t, kBlockSize>;

struct SfxSettings {
    std::string caption{kDefaultCaption};
    std::string productLine{kDefaultProductLine};
    std::string commandLine{kDefaultCommandLine};
    bool showFileList = true;
    std::string destination;  // the folder offered first; empty: the program's own folder
};

// The longest text each field takes (one byte stays for the terminator).
constexpr size_t kMaxCaption = kCaptionSize - 1;
constexpr size_t kMaxProductLine = kProductLineSize - 1;
constexpr size_t kMaxCommandLine = kCommandLineSize - 1;
constexpr size_t kMaxDestination = kDestinationSize - 1;

namespace detail {
constexpr void PutText(Block& block, size_t at, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) block[at + i] = static_cast<uint8_t>(text[i]);
}
}  // namespace detail

// The block for the given texts; every byte not written is zero, so equal settings always give
// equal blocks. Texts must fit (see the kMax constants): callers check with FitsBlock first.
constexpr Block MakeBlock(std::string_view caption, std::string_view productLine, std::string_view commandLine,
                          bool showFileList, std::string_view destination = {}) {
    Block block{};
    for (size_t i = 0; i < kMarkerSize; ++i) block[kMarker + i] = static_cast<uint8_t>(kMarkerText[i]);
    block[kVersion] = static_cast<uint8_t>(kFormatVersion);
    block[kVersion + 1] = static_cast<uint8_t>(kFormatVersion >> 8);
    block[kBlockSizeField] = static_cast<uint8_t>(kBlockSize);
    block[kBlockSizeField + 1] = static_cast<uint8_t>(kBlockSize >> 8);
    block[kFlags] = showFileList ? kFlagShowFileList : 0;
    detail::PutText(block, kCaption, caption);
    detail::PutText(block, kProductLine, productLine);
    detail::PutText(block, kCommandLine, commandLine);
    detail::PutText(block, kDestination, destination);
    return block;
}

constexpr Block kDefaultBlock = MakeBlock(kDefaultCaption, kDefaultProductLine, kDefaultCommandLine, true);

// Whether the texts fit their fields; a text with a zero byte in it does not.
bool FitsBlock(const SfxSettings& settings);
Block MakeBlock(const SfxSettings& settings);

// The settings of a block; false when it is not a block of a version this reader knows.
bool ReadBlock(const uint8_t* bytes, size_t size, SfxSettings& settings);

// Where the block lies in a stub's file image: the one place where the marker is followed by a
// known version and the block size. -1 when there is none.
int64_t FindBlock(const std::vector<uint8_t>& image);

// Writes `settings` into the block of a stub's file image in place; no other byte changes. False
// when the image has no block or a text does not fit.
bool WriteSettings(std::vector<uint8_t>& image, const SfxSettings& settings);

}  // namespace sfxsettings
