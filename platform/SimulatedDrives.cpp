// The table of simulated drives: letters mapped onto folders, each holding one disk or none.
#include "platform/SimulatedDrives.h"

#include <map>

#include "platform/Native.h"

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
        native::MapDefaultDrives();
    }
    return table;
}

}  // namespace

DiskPtr MakeDisk(const std::string& folder, const std::string& label, int64_t capacity) {
    if (!native::DirectoryExists(folder)) native::CreateDirectory(folder);
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
    native::MapDefaultDrives();
}

std::optional<SimulatedDrive> FindDrive(char letter) {
    auto& table = Table();
    const auto drive = table.find(DriveKey(letter));
    if (drive == table.end()) return std::nullopt;
    return drive->second;
}

}  // namespace platform
