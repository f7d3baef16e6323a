// Reading, finding and writing the settings block of a self-extracting program.
#include "abi/SfxSettings.h"

#include <algorithm>
#include <cstring>

namespace sfxsettings {
namespace {

uint16_t U16At(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

bool Fits(const std::string& text, size_t fieldSize) {
    return text.size() < fieldSize && text.find('\0') == std::string::npos;
}

// A field's text runs to its first zero byte; the field always holds one, but a damaged block
// must not make us read past the field.
std::string TextAt(const uint8_t* block, size_t at, size_t fieldSize) {
    const char* text = reinterpret_cast<const char*>(block + at);
    return std::string(text, strnlen(text, fieldSize - 1));
}

bool IsBlockAt(const uint8_t* bytes) {
    return std::memcmp(bytes + kMarker, kMarkerText, kMarkerSize) == 0 && U16At(bytes + kVersion) == kFormatVersion &&
           U16At(bytes + kBlockSizeField) == kBlockSize;
}

}  // namespace

bool FitsBlock(const SfxSettings& settings) {
    return Fits(settings.caption, kCaptionSize) && Fits(settings.productLine, kProductLineSize) &&
           Fits(settings.commandLine, kCommandLineSize) && Fits(settings.destination, kDestinationSize);
}

Block MakeBlock(const SfxSettings& settings) {
    return MakeBlock(settings.caption, settings.productLine, settings.commandLine, settings.showFileList,
                     settings.destination);
}

bool ReadBlock(const uint8_t* bytes, size_t size, SfxSettings& settings) {
    if (size < kBlockSize || !IsBlockAt(bytes)) return false;
    settings.caption = TextAt(bytes, kCaption, kCaptionSize);
    settings.productLine = TextAt(bytes, kProductLine, kProductLineSize);
    settings.commandLine = TextAt(bytes, kCommandLine, kCommandLineSize);
    settings.showFileList = (bytes[kFlags] & kFlagShowFileList) != 0;
    settings.destination = TextAt(bytes, kDestination, kDestinationSize);
    return true;
}

int64_t FindBlock(const std::vector<uint8_t>& image) {
    if (image.size() < kBlockSize) return -1;
    const auto lastStart = image.end() - static_cast<std::ptrdiff_t>(kBlockSize);
    for (auto at = image.begin();; ++at) {
        at = std::search(at, image.end(), kMarkerText, kMarkerText + kMarkerSize);
        if (at > lastStart) return -1;
        if (IsBlockAt(&*at)) return at - image.begin();
    }
}

bool WriteSettings(std::vector<uint8_t>& image, const SfxSettings& settings) {
    const int64_t at = FindBlock(image);
    if (at < 0 || !FitsBlock(settings)) return false;
    const Block block = MakeBlock(settings);
    std::copy(block.begin(), block.end(), image.begin() + at);
    return true;
}

}  // namespace sfxsettings
