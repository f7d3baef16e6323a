// A customised copy of the stub: the settings chosen for one self-extracting program written into its block.
#include "sfx/CustomStub.h"

#include <cstdint>
#include <vector>

#include "platform/Files.h"

bool WriteCustomStub(const std::string& stubName, const sfxsettings::SfxSettings& settings, const std::string& outName) {
    // The stub is small (it is kept under 128 KiB), so it is edited whole in memory.
    std::vector<uint8_t> image;
    {
        platform::FileStream stub(stubName, platform::Access::Read, platform::Share::DenyWrite);
        const int64_t size = stub.Size();
        if (size <= 0 || size > INT32_MAX) return false;
        image.resize(static_cast<size_t>(size));
        if (stub.Read(image.data(), static_cast<int32_t>(size)) != size) return false;
    }
    if (!sfxsettings::WriteSettings(image, settings)) return false;
    platform::FileStream copy(outName, platform::Access::Create, platform::Share::Exclusive);
    return copy.Write(image.data(), static_cast<int32_t>(image.size())) == static_cast<int32_t>(image.size());
}
