// Windows drives: type, free space and volume labels from the kernel, after the simulated table.
#include "platform/win32/WindowsApi.h"

#include "platform/Backend.h"
#include "platform/Drives.h"

namespace platform {
namespace {

constexpr DWORD kLabelBufferSize = 256;

// The empty root asks about the current directory's drive, as a null root does for Windows.
class RootArgument {
public:
    explicit RootArgument(const std::string& root) : wide_(win32::Wide(root)) {}
    operator const wchar_t*() const { return wide_.empty() ? nullptr : wide_.c_str(); }

private:
    std::wstring wide_;
};

}  // namespace

int GetDriveType(const std::string& root) {
    if (const auto drive = detail::SimulatedDriveOf(root)) return drive->type;
    return static_cast<int>(::GetDriveTypeW(RootArgument(root)));
}

int64_t GetDiskFreeSpace(const std::string& root) {
    if (const auto drive = detail::SimulatedDriveOf(root)) return detail::FreeSpaceOn(*drive);
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!::GetDiskFreeSpaceW(RootArgument(root), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        return -1;
    }
    return static_cast<int64_t>(freeClusters) * sectorsPerCluster * bytesPerSector;
}

bool GetVolumeLabel(const std::string& root, std::string& label) {
    label.clear();
    if (const auto drive = detail::SimulatedDriveOf(root)) return detail::ReadLabel(*drive, label);
    wchar_t buffer[kLabelBufferSize + 1] = {};
    if (!::GetVolumeInformationW(RootArgument(root), buffer, kLabelBufferSize, nullptr, nullptr, nullptr, nullptr, 0)) {
        return false;
    }
    label = win32::Utf8(buffer);
    return true;
}

bool SetVolumeLabel(const std::string& root, const std::string& label) {
    if (const auto drive = detail::SimulatedDriveOf(root)) return detail::WriteLabel(*drive, label);
    return ::SetVolumeLabelW(RootArgument(root), win32::Wide(label).c_str()) != 0;
}

// Windows has drive letters of its own; tests map the simulated ones they need.
void detail::MapDefaultDrives() {}

}  // namespace platform
