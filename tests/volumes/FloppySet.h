// Test fixture for spanning and merging: a floppy drive A: fed with fresh simulated disks, and a
// reader that walks a written set record by record.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tzip/Zip.h"
#include "platform/SimulatedDrives.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ZipError.h"

namespace larktest {

constexpr int64_t kFloppyCapacity = 1457664;  // a 1.44 MB floppy
constexpr const char* kPartPath = "A:\\set.zip";

// Bytes that no compressor would shrink, the same for the same seed.
std::string Noise(size_t size, uint32_t seed);

// An archive of about `size` bytes of stored entries: a folder, small files and large ones.
ArchiveBuilder MixedArchive(size_t size);

struct Floppy {
    std::string name;  // its folder inside the test folder
    platform::DiskPtr disk;
};

// Where one central record of a set stands, and what it says.
struct SetRecord {
    size_t disk;      // 0-based
    size_t position;  // in that disk's part
    zip::CentralFileHeader header;
};

// A set as the parts on its disks, in disk order.
struct WrittenSet {
    std::vector<std::string> parts;
    // The central records found by following the end record on the last disk, in order; fails the
    // test when the set is not well formed (marker, labels aside).
    std::vector<SetRecord> Directory() const;
};

class FloppyTest : public testing::Test {
protected:
    FloppyTest();

    Floppy MakeFloppy(int64_t capacity = kFloppyCapacity, const std::string& label = "");
    // Every prompt for a disk is answered OK with a fresh floppy of `capacity` in the drive; checks
    // that the prompts ask for disks 1, 2, 3 ... in turn, with the saved cursor showing.
    void FeedFreshFloppies(int64_t capacity = kFloppyCapacity);
    // Every prompt for disk k is answered OK with the k-th floppy of the set in the drive.
    void ServeSetDisks();

    std::string OpenSource(const std::string& bytes);
    // Spans the open archive onto fresh floppies; the set written.
    WrittenSet SpanToFreshFloppies(int32_t maxFileSize, int32_t disk1Reserve = 0);
    // Opens the set from its last disk with a TZip of its own and merges it into `target`.
    bool MergeSet(TZip& set, const std::string& target);
    WrittenSet ReadSet() const;
    void WritePart(size_t disk, const std::string& bytes) const;
    // A set written by other means, one part a fresh floppy labelled as its disk, in disk order.
    void PutSetOnFloppies(const std::vector<std::string>& parts);
    std::vector<std::string> ShownTexts() const;

    TestFolder folder;
    ScriptedUser user;
    TZip zip;
    std::vector<Floppy> floppies;  // in the order the user inserted them
    std::string sourceBytes;
    int made = 0;
};

}  // namespace larktest
