// Merging a set from simulated floppies: round trips through spanning, prompts, Cancel and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "tests/volumes/FloppySet.h"
#include "archive/DiskUtils.h"
#include "volumes/Volumes.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"

using larktest::ArchiveBuilder;
using larktest::ArchiveLayout;
using larktest::BuiltArchive;
using larktest::FloppyTest;
using larktest::kPartPath;
using larktest::ZipError;
using platform::kIdCancel;
using platform::kIdOk;
using zip::CentralFileHeader;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr int32_t k256K = 262144;

class Merge : public FloppyTest {
protected:
    // A set of three disks or more, made by spanning, with the source's bytes as the expected result.
    larktest::WrittenSet MakeSet() {
        OpenSource(larktest::MixedArchive(600000).Bytes());
        larktest::WrittenSet set = SpanToFreshFloppies(k256K);
        EXPECT_GE(set.parts.size(), 3u);
        return set;
    }

    void OpenSet() {
        platform::InsertDisk('A', floppies.back().disk);
        ServeSetDisks();
        set.SetZipFileName(kPartPath);
        ASSERT_EQ(set.Count(), zip.Count());
    }

    // The files in the test folder's top level: no merge may leave a temporary file behind.
    std::vector<std::string> TopLevelFiles() const {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(folder.NativePath()))
            if (item.is_regular_file()) names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::string> MergePrompts(size_t from) const {
        const std::vector<std::string> texts = ShownTexts();
        return std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(from), texts.end());
    }

    static std::vector<std::string> DiskPrompts(std::vector<int> disks) {
        std::vector<std::string> texts;
        for (int disk : disks) texts.push_back(FormatMsg(Msg::InsertDisk, disk));
        return texts;
    }

    TZip set;
};

// One entry's local extra field longer than the copy buffer, while its central record has none.
std::string LongLocalExtra() {
    larktest::EntrySpec big;
    big.name = "big-extra.bin";
    big.data = larktest::Noise(100000, 3);
    big.extra = std::string(40000, '\x7f');
    larktest::EntrySpec after;
    after.name = "after.bin";
    after.data = larktest::Noise(250000, 4);
    const BuiltArchive local = ArchiveBuilder().Add(big).Add(after).Build();
    big.extra.clear();
    const BuiltArchive central = ArchiveBuilder().Add(big).Add(after).Build();

    std::string bytes = local.bytes.substr(0, local.layout.centralDirectory);
    const size_t directory = bytes.size();
    bytes += central.bytes.substr(central.layout.centralDirectory);
    const size_t moved = directory - central.layout.centralDirectory;
    larktest::PutU32(bytes, central.layout.centralHeaders[1] + moved + CentralFileHeader::kLocalHeaderOffset,
                     static_cast<uint32_t>(local.layout.localHeaders[1]));
    larktest::PutU32(bytes, central.layout.endRecord + moved + EndOfCentralHeader::kCentralDirOffset,
                     static_cast<uint32_t>(directory));
    return bytes;
}

// Entries followed by data descriptors, and what merging their spanned set must give: no
// descriptors, the real values in the local headers, the central records as they were.
std::pair<std::string, std::string> WithDescriptors() {
    const auto build = [](bool descriptors) {
        ArchiveBuilder builder;
        for (uint32_t i = 0; i < 5; ++i) {
            larktest::EntrySpec entry;
            entry.name = "stream" + std::to_string(i) + ".bin";
            entry.data = larktest::Noise(90000 + 5000 * i, 20 + i);
            entry.dataDescriptor = descriptors;
            builder.Add(entry);
        }
        return builder.Build();
    };
    const BuiltArchive expected = build(false);
    std::string bytes = expected.bytes;
    for (size_t at : expected.layout.centralHeaders)
        larktest::PutU16(bytes, at + CentralFileHeader::kFlags, zip::kFlagDataDescriptor);
    return {build(true).bytes, bytes};
}

// Entries whose sizes and offsets stand in ZIP64 fields, among ordinary ones.
ArchiveBuilder Zip64Entries() {
    ArchiveBuilder builder;
    for (uint32_t i = 0; i < 5; ++i) {
        larktest::EntrySpec entry;
        entry.name = "part" + std::to_string(i) + ".bin";
        entry.data = larktest::Noise(30000 + 1000 * i, 40 + i);
        entry.zip64 = i % 2 == 0;
        builder.Add(entry);
    }
    return builder.Comment("a ZIP64 set");
}

// A single-disk archive cut into three disks as split-archive writers lay them out: the marker and
// the first entries, the entries from `firstOnDisk1` on, then the directory with the ZIP64 end record
// and its locator on the last disk, every offset counted on its own disk.
std::vector<std::string> SplitIntoThreeDisks(const BuiltArchive& whole, size_t firstOnDisk1) {
    const ArchiveLayout& layout = whole.layout;
    const size_t cut = layout.localHeaders[firstOnDisk1];
    const size_t directory = layout.centralDirectory;
    std::vector<std::string> parts{std::string("PK\x07\x08") + whole.bytes.substr(0, cut),
                                   whole.bytes.substr(cut, directory - cut), whole.bytes.substr(directory)};
    std::string& last = parts[2];
    for (size_t i = 0; i < layout.centralHeaders.size(); ++i) {
        const size_t at = layout.centralHeaders[i] - directory;
        const bool onDisk1 = i >= firstOnDisk1;
        const uint64_t offset = onDisk1 ? layout.localHeaders[i] - cut : layout.localHeaders[i] + 4;
        larktest::PutU16(last, at + CentralFileHeader::kDiskNumberStart, onDisk1 ? 1 : 0);
        if (larktest::GetU32(last, at + CentralFileHeader::kLocalHeaderOffset) == 0xFFFFFFFF) {
            // Behind the block's ID and length and the two sizes.
            const size_t name = larktest::GetU16(last, at + CentralFileHeader::kFileNameLength);
            larktest::PutU64(last, at + CentralFileHeader::kSize + name + 4 + 16, offset);
        } else {
            larktest::PutU32(last, at + CentralFileHeader::kLocalHeaderOffset, static_cast<uint32_t>(offset));
        }
    }
    const size_t end64 = layout.zip64EndRecord - directory;
    larktest::PutU32(last, end64 + 16, 2);  // this disk
    larktest::PutU32(last, end64 + 20, 2);  // the directory's disk
    larktest::PutU64(last, end64 + larktest::kZip64CentralDirOffset, 0);
    const size_t locator = layout.zip64Locator - directory;
    larktest::PutU32(last, locator + 4, 2);  // the ZIP64 end record's disk
    larktest::PutU64(last, locator + larktest::kZip64LocatorRecordOffset, end64);
    larktest::PutU32(last, locator + 16, 3);  // disks in all
    const size_t end = layout.endRecord - directory;
    larktest::PutU16(last, end + EndOfCentralHeader::kThisDisk, 2);
    larktest::PutU16(last, end + EndOfCentralHeader::kCentralDirDisk, 2);
    if (larktest::GetU32(last, end + EndOfCentralHeader::kCentralDirOffset) != 0xFFFFFFFF)
        larktest::PutU32(last, end + EndOfCentralHeader::kCentralDirOffset, 0);
    return parts;
}

// The joined parts of a set seen through a stream whose first `lead` bytes take no memory: a merged
// archive past 4 GiB. Only the bytes behind the lead are read and written.
class PastTheLead final : public platform::Stream {
public:
    PastTheLead(int64_t lead, std::string tail) : lead_(lead), tail_(std::move(tail)) {}
    int32_t Read(void* buffer, int32_t count) override {
        if (position_ < lead_ || tail_.Seek(position_ - lead_, platform::Origin::Begin) < 0) return 0;
        const int32_t read = tail_.Read(buffer, count);
        position_ += read;
        return read;
    }
    int32_t Write(const void* buffer, int32_t count) override {
        if (position_ < lead_ || tail_.Seek(position_ - lead_, platform::Origin::Begin) < 0) return 0;
        const int32_t written = tail_.Write(buffer, count);
        position_ += written;
        return written;
    }
    int64_t Seek(int64_t offset, platform::Origin origin) override {
        const int64_t base = origin == platform::Origin::Begin     ? 0
                             : origin == platform::Origin::Current ? position_
                                                                   : Size();
        if (base + offset < 0) return -1;
        return position_ = base + offset;
    }
    int64_t Size() override { return lead_ + tail_.Size(); }
    bool Truncate() override { return false; }

private:
    int64_t lead_;
    larktest::MemoryStream tail_;
    int64_t position_ = 0;
};

struct RoundTrip {
    const char* name;
    std::function<std::pair<std::string, std::string>()> make;  // the source, the merged result
};

void PrintTo(const RoundTrip& r, std::ostream* os) { *os << r.name; }

std::pair<std::string, std::string> Same(const std::string& bytes) { return {bytes, bytes}; }

class MergeRoundTrip : public Merge, public testing::WithParamInterface<RoundTrip> {};

}  // namespace

TEST_P(MergeRoundTrip, GivesTheArchiveBack) {
    const auto [source, expected] = GetParam().make();
    OpenSource(source);
    const larktest::WrittenSet written = SpanToFreshFloppies(k256K);
    ASSERT_GE(written.parts.size(), 2u);
    written.Directory();

    const size_t before = user.Shown().size();
    ASSERT_TRUE(MergeSet(set, folder.Path("merged.zip")));
    EXPECT_EQ(MergePrompts(before).front(), FormatMsg(Msg::InsertDisk, 1));
    const std::string merged = folder.Read("merged.zip");
    EXPECT_EQ(merged.size(), expected.size());
    EXPECT_TRUE(merged == expected) << "the merged archive differs from the expected bytes";
    EXPECT_EQ(ReadSet().parts, written.parts) << "merging changed the set";
    EXPECT_EQ(set.ZipFileName(), kPartPath);

    TZip check;
    check.SetZipFileName(folder.Path("merged.zip"));
    EXPECT_EQ(check.Count(), zip.Count());
    EXPECT_EQ(check.GetZipComment(), zip.GetZipComment());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MergeRoundTrip,
    testing::Values(RoundTrip{"plain", [] { return Same(larktest::MixedArchive(900000).Bytes()); }},
                    RoundTrip{"stubNotCounted",
                              [] {
                                  return std::make_pair(
                                      larktest::MixedArchive(500000).Stub(larktest::StubBytes(5000), false).Bytes(),
                                      larktest::MixedArchive(500000).Bytes());
                              }},
                    RoundTrip{"stubCounted",
                              [] {
                                  return std::make_pair(
                                      larktest::MixedArchive(500000).Stub(larktest::StubBytes(5000), true).Bytes(),
                                      larktest::MixedArchive(500000).Bytes());
                              }},
                    RoundTrip{"zip64RecordsInFrontOfTheEndRecord",
                              [] {
                                  return std::make_pair(larktest::MixedArchive(400000).Zip64Records().Bytes(),
                                                        larktest::MixedArchive(400000).Bytes());
                              }},
                    RoundTrip{"dataDescriptors", WithDescriptors},
                    RoundTrip{"localExtraLongerThanTheBuffer", [] { return Same(LongLocalExtra()); }},
                    RoundTrip{
                        "commentLongerThanTheBuffer",
                        [] { return Same(larktest::MixedArchive(400000).Comment(std::string(40000, 'c')).Bytes()); }}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return info.param.name; });

namespace {

struct Zip64Set {
    const char* name;
    std::function<BuiltArchive()> make;  // the single-disk archive the set is cut from
};

void PrintTo(const Zip64Set& z, std::ostream* os) { *os << z.name; }

class MergeZip64Set : public Merge, public testing::WithParamInterface<Zip64Set> {};

}  // namespace

// The set's ZIP64 records and fields are read on its last disk and rewritten for one disk.
TEST_P(MergeZip64Set, GivesTheSingleDiskArchiveBack) {
    const BuiltArchive whole = GetParam().make();
    PutSetOnFloppies(SplitIntoThreeDisks(whole, 3));
    ASSERT_TRUE(MergeSet(set, folder.Path("merged.zip")));
    const std::string merged = folder.Read("merged.zip");
    EXPECT_EQ(merged.size(), whole.bytes.size());
    EXPECT_TRUE(merged == whole.bytes) << "the merged archive differs from the single-disk one";
}

INSTANTIATE_TEST_SUITE_P(
    Table, MergeZip64Set,
    testing::Values(Zip64Set{"endRecordSaturated", [] { return Zip64Entries().Zip64Saturated().Build(); }},
                    Zip64Set{"zip64RecordsRepeatTheEndRecord", [] { return Zip64Entries().Zip64Records().Build(); }}),
    [](const testing::TestParamInfo<Zip64Set>& info) { return info.param.name; });

TEST_F(Merge, Zip64EndRecordOnAnEarlierDiskIsRefusedOnOpening) {
    std::vector<std::string> parts = SplitIntoThreeDisks(Zip64Entries().Zip64Saturated().Build(), 3);
    const size_t locator = parts[2].size() - std::string("a ZIP64 set").size() - EndOfCentralHeader::kSize - 20;
    larktest::PutU32(parts[2], locator + 4, 1);
    PutSetOnFloppies(parts);
    platform::InsertDisk('A', floppies.back().disk);
    EXPECT_EQ(ZipError([&] { set.SetZipFileName(kPartPath); }), FormatMsg(Msg::Zip64OnOtherDisk, kPartPath));
}

// A set whose one part begins at 4 GiB: its offsets go into ZIP64 fields and records, and only what
// no such field carries is refused.
TEST(MergePastFourGiB, OffsetsGoIntoZip64FieldsOrAreRefused) {
    constexpr int64_t kFourGiB = int64_t{1} << 32;
    enum class Records { None, Repeating, Saturated };
    struct Case {
        const char* name;
        bool zip64Entries;
        Records records;
        bool merged;
    };
    for (const Case& c : {Case{"ZIP64 fields, saturated end record", true, Records::Saturated, true},
                          Case{"ZIP64 fields, records repeating the end record", true, Records::Repeating, true},
                          Case{"an entry without a ZIP64 field", false, Records::Saturated, false},
                          Case{"no ZIP64 end record for the directory offset", true, Records::None, false}}) {
        SCOPED_TRACE(c.name);
        ArchiveBuilder builder;
        for (uint32_t i = 0; i < 3; ++i) {
            larktest::EntrySpec entry;
            entry.name = "far" + std::to_string(i) + ".bin";
            entry.data = larktest::Noise(1000, 60 + i);
            entry.zip64 = c.zip64Entries;
            builder.Add(entry);
        }
        if (c.records == Records::Repeating) builder.Zip64Records();
        if (c.records == Records::Saturated) builder.Zip64Saturated();
        const BuiltArchive part = builder.Build();
        zip::MemorySource partSource(reinterpret_cast<const uint8_t*>(part.bytes.data()), part.bytes.size());
        const zip::EndOfArchive setEnd = zip::FindEndOfArchive(partSource);
        ASSERT_TRUE(setEnd.Usable());

        PastTheLead target(kFourGiB, part.bytes);
        const std::vector<int64_t> diskOffsets{kFourGiB, target.Size()};
        const std::string error =
            ZipError([&] { volumes::RewriteMergedDirectory(target, setEnd, diskOffsets, "merged.zip"); });
        if (!c.merged) {
            EXPECT_EQ(error, FormatMsg(Msg::TooLarge, "merged.zip"));
            continue;
        }
        zip::StreamSource merged(target);
        const zip::EndOfArchive end = zip::FindEndOfArchive(merged);
        EXPECT_EQ(error, "");
        EXPECT_TRUE(end.Usable());
        if (!error.empty() || !end.Usable()) continue;
        EXPECT_EQ(end.directoryOffset, kFourGiB + static_cast<int64_t>(part.layout.centralDirectory));
        EXPECT_EQ(end.Shift(), 0);
        EXPECT_EQ(end.record.CentralDirOffset(), 0xFFFFFFFFu);
        zip::DirectoryIterator directory(merged, end);
        for (size_t i = 0; directory.Next(); ++i) {
            zip::Zip64Values values;
            EXPECT_TRUE(zip::ResolveZip64(directory.Header(), directory.ExtraField(), values));
            EXPECT_EQ(values.localHeaderOffset, static_cast<uint64_t>(kFourGiB) + part.layout.localHeaders[i]);
        }
        EXPECT_FALSE(directory.Failed());
    }
}

TEST_F(Merge, AsksForDiskOneAlwaysThenForEachDiskNotInTheDrive) {
    MakeSet();
    OpenSet();
    const size_t before = user.Shown().size();
    platform::InsertDisk('A', floppies[0].disk);
    user.Answer(kIdOk);                                                        // disk 1 is in already
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', floppies[0].disk); });  // still disk 1
    std::vector<int> expected{1, 2, 2};
    for (size_t k = 2; k <= floppies.size(); ++k) {
        if (k > 2) expected.push_back(static_cast<int>(k));
        user.Answer(kIdOk, [this, k] { platform::InsertDisk('A', floppies[k - 1].disk); });
    }
    EXPECT_TRUE(set.MergeSpannedZip(folder.Path("merged.zip")));
    EXPECT_EQ(MergePrompts(before), DiskPrompts(expected));
    EXPECT_EQ(folder.Read("merged.zip"), sourceBytes);
    EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Default);
}

TEST_F(Merge, ProgressReachesTheExpectedSize) {
    MakeSet();
    OpenSet();
    std::vector<std::pair<int32_t, int32_t>> calls;
    set.OnMergeProgress = [&](TZip* sender, const std::string& name, int32_t done, int32_t total) {
        EXPECT_EQ(sender, &set);
        EXPECT_EQ(name, folder.Path("merged.zip"));
        EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Busy);
        calls.emplace_back(done, total);
    };
    ASSERT_TRUE(set.MergeSpannedZip(folder.Path("merged.zip")));
    ASSERT_FALSE(calls.empty());
    EXPECT_GE(calls.size(), sourceBytes.size() / kCopyBlockSize);
    EXPECT_EQ(calls.back().first, static_cast<int32_t>(sourceBytes.size()));
    EXPECT_EQ(calls.back().second, static_cast<int32_t>(sourceBytes.size()));
}

// Cancel at the first prompt, at the repeated first prompt, and at a later disk: False, and the
// target as it was before, whether it existed or not.
TEST_F(Merge, CancelLeavesTheTargetAsItWas) {
    MakeSet();
    OpenSet();
    // Each OK answer puts in the disk at that index of the set (-1: none) before the Cancel.
    struct Case {
        const char* name;
        std::vector<int> disksInserted;
        bool targetExists;
    };
    std::vector<int> allButLast;
    for (size_t k = 0; k + 1 < floppies.size(); ++k) allButLast.push_back(static_cast<int>(k));
    for (const Case& c :
         {Case{"first prompt", {}, false}, Case{"first prompt again", {-1}, true}, Case{"second disk", {0}, false},
          Case{"second disk, target exists", {0}, true}, Case{"last disk", allButLast, true}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(folder.NativePath("merged.zip"));
        if (c.targetExists) folder.Write("merged.zip", "an unrelated file");
        platform::InsertDisk('A', floppies.back().disk);
        const size_t before = user.Shown().size();
        for (int disk : c.disksInserted)
            user.Answer(kIdOk, [this, disk] {
                if (disk >= 0) platform::InsertDisk('A', floppies[disk].disk);
            });
        user.Answer(kIdCancel);
        EXPECT_FALSE(set.MergeSpannedZip(folder.Path("merged.zip")));
        EXPECT_EQ(user.Shown().size() - before, c.disksInserted.size() + 1);
        const std::vector<std::string> expected = c.targetExists ? std::vector<std::string>{"merged.zip", "source.zip"}
                                                                 : std::vector<std::string>{"source.zip"};
        EXPECT_EQ(TopLevelFiles(), expected);
        if (c.targetExists) {
            EXPECT_EQ(folder.Read("merged.zip"), "an unrelated file");
        }
    }
}

TEST_F(Merge, SuccessReplacesAnExistingTarget) {
    MakeSet();
    OpenSet();
    folder.Write("merged.zip", "an older file");
    ASSERT_TRUE(set.MergeSpannedZip(folder.Path("merged.zip")));
    EXPECT_EQ(folder.Read("merged.zip"), sourceBytes);
    EXPECT_EQ(TopLevelFiles(), (std::vector<std::string>{"merged.zip", "source.zip"}));
}

TEST_F(Merge, OrdinaryArchivesAreNotMultiDisk) {
    // From a floppy.
    const larktest::Floppy floppy = MakeFloppy();
    platform::InsertDisk('A', floppy.disk);
    larktest::WriteFileBytes(kPartPath, larktest::MixedArchive(5000).Bytes());
    set.SetZipFileName(kPartPath);
    EXPECT_EQ(ZipError([&] { set.MergeSpannedZip(folder.Path("merged.zip")); }), FormatMsg(Msg::NotMultiDisk));
    // The last disk of a set, copied to a fixed disk.
    set.SetZipFileName(folder.Write("last.zip", larktest::MixedArchive(5000).Disks(1, 1).Bytes()));
    EXPECT_EQ(ZipError([&] { set.MergeSpannedZip(folder.Path("merged.zip")); }), FormatMsg(Msg::NotMultiDisk));
    EXPECT_TRUE(user.Shown().empty());
    EXPECT_FALSE(folder.Exists("merged.zip"));
}

TEST_F(Merge, OnlyOntoAFixedDrive) {
    MakeSet();
    OpenSet();
    platform::MapDrive('N', platform::kDriveRemote, platform::MakeDisk(folder.NativePath("net"), "NET"));
    platform::MapDrive('R', platform::kDriveCdRom, platform::MakeDisk(folder.NativePath("cd"), "CD"));
    const size_t before = user.Shown().size();
    for (const char* target : {"A:\\merged.zip", "N:\\merged.zip", "R:\\merged.zip"}) {
        EXPECT_EQ(ZipError([&] { set.MergeSpannedZip(target); }), FormatMsg(Msg::MergeOnlyToFixed)) << target;
        EXPECT_FALSE(platform::FileExists(target)) << target;
    }
    EXPECT_EQ(user.Shown().size(), before);
}

TEST_F(Merge, NothingToDoIsFalseWithoutAPrompt) {
    EXPECT_FALSE(set.MergeSpannedZip(folder.Path("merged.zip"))) << "no archive open";
    MakeSet();
    OpenSet();
    const size_t before = user.Shown().size();
    EXPECT_FALSE(set.MergeSpannedZip(""));
    EXPECT_EQ(user.Shown().size(), before);
}

TEST_F(Merge, FirstDiskWithoutTheMarkerFailsWithNothingCreated) {
    const larktest::WrittenSet written = MakeSet();
    WritePart(0, "PK\x03\x04" + written.parts[0].substr(4));
    OpenSet();
    EXPECT_EQ(ZipError([&] { set.MergeSpannedZip(folder.Path("merged.zip")); }),
              FormatMsg(Msg::ErrorReadingDiskSignature));
    EXPECT_EQ(TopLevelFiles(), std::vector<std::string>{"source.zip"});
}

// A full target disk is an error, not a short archive reported as merged.
TEST_F(Merge, FullTargetDiskFailsAndLeavesTheOldFile) {
    MakeSet();
    OpenSet();
    const platform::DiskPtr small =
        folder.MapDisk('D', platform::kDriveFixed, "small", "SMALL", static_cast<int64_t>(sourceBytes.size() / 2));
    larktest::WriteFileBytes("D:\\merged.zip", "an older file");
    EXPECT_EQ(ZipError([&] { set.MergeSpannedZip("D:\\merged.zip"); }),
              FormatMsg(Msg::ErrorWritingMerged, "D:\\merged.zip"));
    EXPECT_EQ(larktest::ReadFileBytes("D:\\merged.zip"), "an older file");
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(small->folder))
        files.push_back(item.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"merged.zip"});
}

// Directories on the last disk that the reader lists but that cannot be made single-disk.
TEST_F(Merge, DirectoryThatDoesNotFitTheSetFailsWithNothingCreated) {
    struct Case {
        const char* name;
        std::function<void(std::string& part, const larktest::SetRecord& last, size_t disks)> patch;
    };
    const Case cases[] = {
        {"disk number start is the number of disks",
         [](std::string& part, const larktest::SetRecord& last, size_t disks) {
             larktest::PutU16(part, last.position + CentralFileHeader::kDiskNumberStart, static_cast<uint16_t>(disks));
         }},
        {"disk number start far beyond",
         [](std::string& part, const larktest::SetRecord& last, size_t) {
             larktest::PutU16(part, last.position + CentralFileHeader::kDiskNumberStart, 999);
         }},
        {"offset beyond the data",
         [](std::string& part, const larktest::SetRecord& last, size_t) {
             larktest::PutU32(part, last.position + CentralFileHeader::kLocalHeaderOffset, 0xFFFFF000u);
         }},
        {"bytes behind the archive comment",
         [](std::string& part, const larktest::SetRecord&, size_t) { part += "trailing bytes"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        floppies.clear();
        const larktest::WrittenSet written = MakeSet();
        const larktest::SetRecord last = written.Directory().back();
        ASSERT_EQ(last.disk, written.parts.size() - 1);
        std::string part = written.parts.back();
        c.patch(part, last, written.parts.size());
        WritePart(last.disk, part);
        OpenSet();
        EXPECT_EQ(ZipError([&] { set.MergeSpannedZip(folder.Path("merged.zip")); }),
                  FormatMsg(Msg::ErrorReadingCentral));
        EXPECT_EQ(TopLevelFiles(), std::vector<std::string>{"source.zip"});
    }
}
