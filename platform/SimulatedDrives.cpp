// The table of simulated drives: letters mapped onto folders, each holding one disk or none; and
// the resolver every backend asks before the system.
#include "platform/SimulatedDrives.h"

#include <algorithm>
#include <map>

#include "platform/Backend.h"

namespace platform {
namespace {

// Letters outside A..Z cannot name a drive; they map to 0 and are ignored.
char DriveKey(char letter) {
    if (letter >= 'a' && letter <= 'z') return static_cast<char>(letter - 'a' + 'A');
    if (letter >= 'A' && letter <= 'Z') return letter;
    return 0;
}

std::map<char, SimulatedDrive>& Table() {
    static std::map<char, SimulatedDrive> table;
    static bool filled = false;
    if (!filled) {
        filled = true;
        detail::MapDefaultDrives();
    }
    return table;
}

}  // namespace

DiskPtr MakeDisk(const std::string& folder, const std::string& label, int64_t capacity) {
    detail::MakeNativeFolder(folder);
    auto disk = std::make_shared<SimulatedDisk>();
    disk->folder = folder;
    disk->label = label;
    disk->capacity = capacity;
    return disk;
}

void MapDrive(char letter, int type, DiskPtr disk) {
    const char key = DriveKey(letter);
    if (key == 0) return;
    Table()[key] = SimulatedDrive{type, std::move(disk)};
}

void InsertDisk(char letter, DiskPtr disk) {
    auto& table = Table();
    const auto drive = table.find(DriveKey(letter));
    if (drive != table.end()) drive->second.disk = std::move(disk);
}

DiskPtr DiskInDrive(char letter) {
    const auto drive = FindDrive(letter);
    return drive ? drive->disk : nullptr;
}

void UnmapDrive(char letter) { Table().erase(DriveKey(letter)); }

void ResetDrives() {
    Table().clear();
    detail::MapDefaultDrives();
}

std::optional<SimulatedDrive> FindDrive(char letter) {
    auto& table = Table();
    const auto drive = table.find(DriveKey(letter));
    if (drive == table.end()) return std::nullopt;
    return drive->second;
}

namespace detail {
namespace {

bool HasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

std::optional<SimulatedDrive> SimulatedDriveOf(const std::string& path) {
    if (!HasDriveLetter(path)) return std::nullopt;
    return FindDrive(path[0]);
}

ResolvedPath Resolve(const std::string& systemPath) {
    ResolvedPath resolved;
    resolved.drive = SimulatedDriveOf(systemPath);
    if (!resolved.drive) {
        resolved.native = ToNativePath(systemPath);
    } else if (resolved.drive->disk) {
        // "A:\dir\f" and "A:dir\f" both name dir\f on the disk: a simulated drive has no current
        // directory of its own, so its root serves as one.
        size_t restStart = 2;
        while (restStart < systemPath.size() && systemPath[restStart] == '\\') ++restStart;
        resolved.native = JoinNative(resolved.drive->disk->folder, systemPath.substr(restStart));
    }
    return resolved;
}

int64_t RoomOn(const SimulatedDisk& disk) { return std::max<int64_t>(0, disk.capacity - FolderUsage(disk.folder)); }

int64_t FreeSpaceOn(const SimulatedDrive& drive) {
    if (!drive.disk) return -1;
    if (drive.disk->capacity > 0) return RoomOn(*drive.disk);
    return FreeSpaceOf(drive.disk->folder);
}

bool ReadLabel(const SimulatedDrive& drive, std::string& label) {
    if (!drive.disk) return false;
    label = drive.disk->label;
    return true;
}

bool WriteLabel(const SimulatedDrive& drive, const std::string& label) {
    if (!drive.disk || !drive.disk->labelWritable) return false;
    drive.disk->label = label;
    return true;
}

}  // namespace detail
}  // namespace platform
