// Host drives: the host has none of its own, so every drive letter comes from the simulated table.
#include "platform/Native.h"
#include "platform/SimulatedDrives.h"

namespace platform::native {
namespace {

constexpr const char* kHostRootLabel = "LARKHOST";
unsigned gErrorMode = 0;

}  // namespace

// The empty root (a relative path) lies on the current directory's drive, which is the host's own.
int GetDriveType(const std::string& root) { return root.empty() ? kDriveFixed : kDriveNoRootDir; }

int64_t GetDiskFreeSpace(const std::string&) { return -1; }

bool GetVolumeLabel(const std::string&, std::string&) { return false; }

bool SetVolumeLabel(const std::string&, const std::string&) { return false; }

// The host shows no critical-error dialog; the mode is kept only so that it reads back as set.
unsigned SetErrorMode(unsigned mode) {
    const unsigned previous = gErrorMode;
    gErrorMode = mode;
    return previous;
}

void MapDefaultDrives() { MapDrive('C', kDriveFixed, MakeDisk("/", kHostRootLabel)); }

}  // namespace platform::native
