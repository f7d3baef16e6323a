// span_bench_driver: spans an archive onto a simulated floppy drive whose disks are folders, or merges such a set back.
//
//   span_bench_driver span ARCHIVE DISKS MAXSIZE   writes the set into DISKS/disk001, disk002, ...
//   span_bench_driver merge DISKS TARGET           merges the set in DISKS into TARGET
//
// The drive is roomy (each disk has the free space of the folder's file system), so only
// MAXSIZE cuts the parts; every prompt for a disk is answered at once with the next folder.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/SimulatedDrives.h"
#include "platform/Text.h"
#include "platform/User.h"
#include "archive/DiskUtils.h"

namespace {

constexpr const char* kPart = "A:\\bench.zip";

// Answers every box OK after putting the next disk in the drive; counts the disks.
class DiskFeeder final : public platform::User {
public:
    explicit DiskFeeder(std::function<platform::DiskPtr(int)> disk) : disk_(std::move(disk)) {}
    // A run that keeps asking (a disk that cannot be made, say) ends with Cancel instead of spinning.
    int MessageBox(const std::string&, const std::string&, unsigned) override {
        if (disks_ >= kMostDisks) return platform::kIdCancel;
        platform::InsertDisk('A', disk_(++disks_));
        return platform::kIdOk;
    }
    bool InputBox(const std::string&, const std::string&, const std::string&, size_t, std::string&) override {
        return false;
    }
    platform::Cursor SetCursor(platform::Cursor cursor) override { return cursor; }
    void ProcessMessages() override {}
    void Beep() override {}
    int Disks() const { return disks_; }
    void Restart() { disks_ = 0; }

private:
    static constexpr int kMostDisks = 999;
    std::function<platform::DiskPtr(int)> disk_;
    int disks_ = 0;
};

std::string DiskFolder(const std::string& disks, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "/disk%03d", number);
    return disks + name;
}

int Span(const std::string& archive, const std::string& disks, int32_t maxSize) {
    const std::string disksFolder = platform::SystemPathFromArgument(disks);
    if (!platform::DirectoryExists(disksFolder) && !platform::CreateDirectory(disksFolder)) {
        std::fprintf(stderr, "cannot make %s\n", disks.c_str());
        return 1;
    }
    DiskFeeder feeder([&](int n) { return platform::MakeDisk(DiskFolder(disks, n), ""); });
    platform::SetCurrentUser(&feeder);
    TZip zip;
    zip.SetZipFileName(platform::SystemPathFromArgument(archive));
    const bool done = zip.SpanZip(kPart, maxSize, 0);
    platform::SetCurrentUser(nullptr);
    std::printf("%d disks\n", feeder.Disks());
    return done ? 0 : 1;
}

int Merge(const std::string& disks, const std::string& target) {
    int count = 0;
    while (platform::FileExists(platform::SystemPathFromArgument(DiskFolder(disks, count + 1) + "/bench.zip"))) ++count;
    const auto disk = [&](int n) { return platform::MakeDisk(DiskFolder(disks, n), DiskLabel(n)); };
    DiskFeeder feeder(disk);
    platform::SetCurrentUser(&feeder);
    platform::InsertDisk('A', disk(count));
    TZip zip;
    zip.SetZipFileName(kPart);
    feeder.Restart();
    const bool done = zip.MergeSpannedZip(platform::SystemPathFromArgument(target));
    platform::SetCurrentUser(nullptr);
    return done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        platform::MapDrive('A', platform::kDriveRemovable, nullptr);
        if (mode == "span" && argc == 5) return Span(argv[2], argv[3], std::atoi(argv[4]));
        if (mode == "merge" && argc == 4) return Merge(argv[2], argv[3]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fputs("usage: span_bench_driver span ARCHIVE DISKS MAXSIZE | span_bench_driver merge DISKS TARGET\n", stderr);
    return 2;
}
