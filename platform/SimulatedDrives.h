// Drive letters mapped onto folders, with a type, a capacity and a volume label of their own.
// The host build has no drive letters, so every drive it knows comes from this table (C: is the
// host's root by default). Both builds use it in tests to stand in for a floppy drive whose disks
// are swapped while a test runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// One disk: a folder that holds its files, its label and its capacity in bytes.
struct SimulatedDisk {
    std::string folder;     // native path of the folder that holds the disk's files
    std::string label;
    int64_t capacity = 0;   // 0: the free space of the folder's real file system
    bool labelWritable = true;
    bool readOnly = false;  // nothing can be created, written or moved onto it: "access denied"
};
using DiskPtr = std::shared_ptr<SimulatedDisk>;

// Makes the folder when it does not exist yet, so that a fresh disk is ready to take files.
DiskPtr MakeDisk(const std::string& folder, const std::string& label, int64_t capacity = 0);

// Maps `letter` (A..Z, either case) to a drive of `type` holding `disk` (nullptr: an empty drive).
void MapDrive(char letter, int type, DiskPtr disk);
// Swaps the disk in a mapped drive; nullptr leaves the drive empty.
void InsertDisk(char letter, DiskPtr disk);
DiskPtr DiskInDrive(char letter);
void UnmapDrive(char letter);
// Back to the table the process started with.
void ResetDrives();

// A mapped drive as path resolution sees it.
struct SimulatedDrive {
    int type = 0;
    DiskPtr disk;  // nullptr: no disk in the drive
};
// The drive mapped on `letter`, or nothing when the letter is not in the table.
std::optional<SimulatedDrive> FindDrive(char letter);

}  // namespace platform
