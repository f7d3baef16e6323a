// Drives: their type, free space and volume label, asked of the simulated drive table first.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum DriveType : int {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

int GetDriveType(const std::string& root);                    // root like "A:\"
// Free bytes on the drive of `root`, or -1 when the query fails.
int64_t GetDiskFreeSpace(const std::string& root);
bool GetVolumeLabel(const std::string& root, std::string& label);
bool SetVolumeLabel(const std::string& root, const std::string& label);

}  // namespace platform
