// The stub's reading of its own file, fuzzed in memory: the settings block and the archive behind.
#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/MemoryExtraction.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "abi/SfxSettings.h"
#include "sfxstub/Extraction.h"
#include "tests/support/ArchiveBuilder.h"

namespace {

bool SameSettings(const sfxsettings::SfxSettings& a, const sfxsettings::SfxSettings& b) {
    return a.caption == b.caption && a.productLine == b.productLine && a.commandLine == b.commandLine &&
           a.showFileList == b.showFileList;
}

// A block found reads back; written again with what it held, it reads the same, and no byte
// outside it changes.
std::string CheckSettings(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    const int64_t at = sfxsettings::FindBlock(image);
    if (at < 0) return "no settings";
    if (static_cast<size_t>(at) + sfxsettings::kBlockSize > size) Broken("a found settings block lies inside the image");
    sfxsettings::SfxSettings settings;
    if (!sfxsettings::ReadBlock(image.data() + at, size - at, settings) || !sfxsettings::FitsBlock(settings))
        Broken("a found settings block reads and its texts fit");
    std::vector<uint8_t> rewritten = image;
    if (!sfxsettings::WriteSettings(rewritten, settings)) Broken("a found settings block can be written");
    sfxsettings::SfxSettings again;
    if (!sfxsettings::ReadBlock(rewritten.data() + at, size - at, again) || !SameSettings(settings, again)) Broken("settings written read back the same");
    if (!std::equal(image.begin(), image.begin() + at, rewritten.begin()) ||
        !std::equal(image.begin() + at + sfxsettings::kBlockSize, image.end(),
                    rewritten.begin() + at + sfxsettings::kBlockSize))
        Broken("writing settings changes no byte outside the block");
    return "settings";
}

// The program's image ends where its settings block does, as in the real stub, or at the start.
int64_t ImageSize(const uint8_t* data, size_t size) {
    const int64_t at = sfxsettings::FindBlock(std::vector<uint8_t>(data, data + size));
    return at < 0 ? 0 : at + static_cast<int64_t>(sfxsettings::kBlockSize);
}

}  // namespace

std::string RunStubInput(const uint8_t* data, size_t size) {
    const std::string settings = CheckSettings(data, size);
    sfxstub::SfxArchive archive;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const sfxstub::SfxArchive::Status status =
        archive.Read(std::make_unique<larktest::MemoryStream>(bytes), ImageSize(data, size));
    if (status != sfxstub::SfxArchive::Status::Ok) return settings + ", " + (archive.Error().empty() ? "no archive" : archive.Error());
    engines::Directory directory;
    directory.entries = archive.Entries();
    return settings + ", " + ExtractIntoMemory(archive.Stream(), directory);
}
