// Host drives: the host has none of its own, so every drive letter comes from the simulated table.
#include "platform/Backend.h"
#include "platform/Drives.h"
#include "platform/SimulatedDrives.h"

namespace platform {
namespace {

constexpr const char* kHostRootLabel = "LARKHOST";

}  // namespace

// The empty root (a relative path) lies on the current directory's drive, which is the host's own.
int GetDriveType(const std::string& root) {
    if (const auto drive = detail::SimulatedDriveOf(root)) return drive->type;
    return root.empty() ? kDriveFixed : kDriveNoRootDir;
}

int64_t GetDiskFreeSpace(const std::string& root) {
    const auto drive = detail::SimulatedDriveOf(root);
    return drive ? detail::FreeSpaceOn(*drive) : -1;
}

bool GetVolumeLabel(const std::string& root, std::string& label) {
    label.clear();
    const auto drive = detail::SimulatedDriveOf(root);
    return drive && detail::ReadLabel(*drive, label);
}

bool SetVolumeLabel(const std::string& root, const std::string& label) {
    const auto drive = detail::SimulatedDriveOf(root);
    return drive && detail::WriteLabel(*drive, label);
}

void detail::MapDefaultDrives() { MapDrive('C', kDriveFixed, MakeDisk("/", kHostRootLabel)); }

}  // namespace platform
