// Spanning an archive onto simulated floppies: the set's layout, labels, prompts, Cancel and refusals.
#include <gtest/gtest.h>

#include <algorithm>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "tests/volumes/FloppySet.h"
#include "archive/DiskUtils.h"

using larktest::ArchiveBuilder;
using larktest::FloppyTest;
using larktest::kPartPath;
using larktest::ShownBox;
using larktest::ZipError;
using platform::kIdCancel;
using platform::kIdOk;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr int32_t k256K = 262144;

class Span : public FloppyTest {};

std::string Marker() { return larktest::FromHex("50 4B 07 08"); }

}  // namespace

TEST_F(Span, ArchiveThatFitsIsCopiedWholeOntoAnUnlabelledDisk) {
    // A stub in front stays: the copy is the file as it is.
    const std::string archive = larktest::MixedArchive(200000).Stub(larktest::StubBytes(3000), false).Bytes();
    OpenSource(archive);
    const larktest::Floppy floppy = MakeFloppy(larktest::kFloppyCapacity, "OLDLABEL");
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', floppy.disk); });
    int progress = 0;
    zip.OnSpanProgress = [&](TZip*, const std::string&, int32_t, int32_t) { ++progress; };
    EXPECT_TRUE(zip.SpanZip(kPartPath, 0, 0));
    EXPECT_EQ(folder.Read(floppy.name + "/set.zip"), archive);
    EXPECT_EQ(floppy.disk->label, "");
    EXPECT_EQ(ShownTexts(), (std::vector<std::string>{FormatMsg(Msg::InsertDisk, 1)}));
    EXPECT_EQ(progress, 0);
    EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Default);
}

TEST_F(Span, MaxFileSizeGivesPartsNoLongerThanItLabelledFromOne) {
    const std::string archive = larktest::MixedArchive(1000000).Comment("").Bytes();
    OpenSource(archive);
    std::vector<int32_t> done;
    zip.OnSpanProgress = [&](TZip* sender, const std::string& name, int32_t bytesDone, int32_t total) {
        EXPECT_EQ(sender, &zip);
        EXPECT_EQ(name, kPartPath);
        EXPECT_EQ(total, static_cast<int32_t>(archive.size()));
        EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Busy);
        done.push_back(bytesDone);
    };
    const larktest::WrittenSet set = SpanToFreshFloppies(k256K);

    ASSERT_GE(set.parts.size(), 4u);
    EXPECT_EQ(set.parts[0].substr(0, 4), Marker());
    for (size_t k = 0; k < set.parts.size(); ++k) {
        EXPECT_LE(set.parts[k].size(), static_cast<size_t>(k256K)) << "disk " << k + 1;
        EXPECT_EQ(floppies[k].disk->label, DiskLabel(static_cast<int32_t>(k + 1)));
        if (k > 0) {
            EXPECT_NE(set.parts[k].substr(0, 4), Marker()) << "only disk 1 has the marker";
        }
    }
    // Every disk but the last is filled up to the limit, less what a header that did not fit left.
    EXPECT_GE(set.parts[0].size(), static_cast<size_t>(k256K - 100));

    const std::vector<larktest::SetRecord> directory = set.Directory();
    ASSERT_EQ(directory.size(), static_cast<size_t>(zip.Count()));
    for (int32_t i = 0; i < zip.Count(); ++i) {
        TFileInfo entry;
        zip.GetEntry(i, entry);
        EXPECT_EQ(directory[i].header.DiskNumberStart(), entry.SpanDisk) << entry.FileName;
        EXPECT_EQ(directory[i].header.LocalHeaderOffset(), static_cast<uint32_t>(entry.SpanOffset)) << entry.FileName;
    }
    EXPECT_EQ(directory[0].header.DiskNumberStart(), 0);
    EXPECT_EQ(directory[0].header.LocalHeaderOffset(), 4u);

    ASSERT_FALSE(done.empty());
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_LE(done.back(), static_cast<int32_t>(archive.size()));
}

// With the limit the set is not a copy, even when the archive would fit the first disk.
TEST_F(Span, DiskOneReserveIsLeftFree) {
    OpenSource(larktest::MixedArchive(800000).Bytes());
    const larktest::WrittenSet set = SpanToFreshFloppies(300000, 30000);
    ASSERT_GE(set.parts.size(), 3u);
    EXPECT_LE(set.parts[0].size(), 300000u - 30000u);
    EXPECT_GT(set.parts[1].size(), 300000u - 30000u) << "the reserve is for disk 1 only";
    set.Directory();
}

// Refused before any prompt, with nothing written anywhere.
struct Refusal {
    const char* name;
    const char* dest;  // "" for the floppy part path
    int32_t maxFileSize, disk1Reserve;
    bool multiDiskSource, sourceOnFloppy;
    Msg message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class SpanRefusal : public Span, public testing::WithParamInterface<Refusal> {};

TEST_P(SpanRefusal, BeforeAnyPrompt) {
    const Refusal& r = GetParam();
    platform::MapDrive('N', platform::kDriveRemote, platform::MakeDisk(folder.NativePath("net"), "NET"));
    platform::MapDrive('R', platform::kDriveCdRom, platform::MakeDisk(folder.NativePath("cd"), "CD"));
    const larktest::Floppy floppy = MakeFloppy();
    platform::InsertDisk('A', floppy.disk);
    ArchiveBuilder builder = larktest::MixedArchive(20000);
    if (r.multiDiskSource) builder.Disks(1, 1);
    if (r.sourceOnFloppy) {
        larktest::WriteFileBytes("A:\\source.zip", builder.Bytes());
        zip.SetZipFileName("A:\\source.zip");
    } else {
        OpenSource(builder.Bytes());
    }
    const std::string dest = *r.dest ? std::string(r.dest) : std::string(kPartPath);
    EXPECT_EQ(ZipError([&] { zip.SpanZip(dest, r.maxFileSize, r.disk1Reserve); }), FormatMsg(r.message));
    EXPECT_TRUE(user.Shown().empty());
    EXPECT_FALSE(platform::FileExists(kPartPath));
    EXPECT_EQ(floppy.disk->label, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpanRefusal,
    testing::Values(Refusal{"ontoAFixedDisk", "C:\\set.zip", 0, 0, false, false, Msg::SpanOnlyOnFloppy},
                    Refusal{"ontoANetworkDrive", "N:\\set.zip", 0, 0, false, false, Msg::SpanOnlyOnFloppy},
                    Refusal{"ontoACdRom", "R:\\set.zip", 0, 0, false, false, Msg::SpanOnlyOnFloppy},
                    Refusal{"multiDiskSource", "", 0, 0, true, false, Msg::SourceOnFloppy},
                    Refusal{"sourceOnAFloppy", "", 0, 0, false, true, Msg::SourceOnFloppy},
                    Refusal{"maxBelow256k", "", k256K - 1, 0, false, false, Msg::MaxFileSizeTooSmall},
                    Refusal{"reserveLeavesBelow256k", "", k256K, 1, false, false, Msg::Disk1SizeTooSmall},
                    Refusal{"reserveLargerThanMax", "", 300000, 300000, false, false, Msg::Disk1SizeTooSmall}),
    [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(Span, NothingToDoIsFalseWithoutAPrompt) {
    EXPECT_FALSE(zip.SpanZip(kPartPath, 0, 0)) << "no archive open";
    OpenSource(larktest::MixedArchive(1000).Bytes());
    EXPECT_FALSE(zip.SpanZip("", 0, 0));
    EXPECT_TRUE(user.Shown().empty());
}

TEST_F(Span, DiskWithTooLittleRoomBringsTheRoomPromptUntilARoomierOne) {
    const std::string archive = larktest::MixedArchive(100000).Bytes();
    OpenSource(archive);
    const larktest::Floppy small = MakeFloppy(k256K - 1, "SMALL");
    const larktest::Floppy full = MakeFloppy(larktest::kFloppyCapacity);
    folder.Write(full.name + "/big.bin", std::string(larktest::kFloppyCapacity - 1000, 'x'));
    const larktest::Floppy roomy = MakeFloppy();
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', small.disk); });
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', full.disk); });
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', roomy.disk); });
    EXPECT_TRUE(zip.SpanZip(kPartPath, 0, 0));
    const std::string room = FormatMsg(Msg::InsufficientRoom);
    EXPECT_EQ(ShownTexts(), (std::vector<std::string>{FormatMsg(Msg::InsertDisk, 1), room, room}));
    for (const ShownBox& box : user.Shown()) EXPECT_EQ(box.flags, 0x41u);
    EXPECT_EQ(folder.Read(roomy.name + "/set.zip"), archive);
    EXPECT_EQ(small.disk->label, "SMALL") << "a refused disk keeps its label";
    EXPECT_FALSE(folder.Exists(small.name + "/set.zip"));
}

// Cancel at the k-th prompt of a run: False, no message, and nothing written after the prompt.
TEST_F(Span, CancelAtEveryPromptEndsQuietlyWithNothingFurtherWritten) {
    OpenSource(larktest::MixedArchive(700000).Bytes());
    const size_t prompts = SpanToFreshFloppies(k256K).parts.size();
    ASSERT_GE(prompts, 3u);

    for (size_t cancelAt = 1; cancelAt <= prompts; ++cancelAt) {
        SCOPED_TRACE("cancel at prompt " + std::to_string(cancelAt));
        floppies.clear();
        const size_t shownBefore = user.Shown().size();
        std::vector<std::string> partsAtCancel;
        user.Otherwise([&](const ShownBox&) {
            if (user.Shown().size() - shownBefore == cancelAt) {
                partsAtCancel = ReadSet().parts;
                return static_cast<int>(kIdCancel);
            }
            floppies.push_back(MakeFloppy());
            platform::InsertDisk('A', floppies.back().disk);
            return static_cast<int>(kIdOk);
        });
        EXPECT_FALSE(zip.SpanZip(kPartPath, k256K, 0));
        EXPECT_EQ(user.Shown().size() - shownBefore, cancelAt);
        EXPECT_EQ(ReadSet().parts, partsAtCancel);
        EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Default);
    }
}

TEST_F(Span, CancelAtTheRoomPromptEndsQuietly) {
    OpenSource(larktest::MixedArchive(100000).Bytes());
    const larktest::Floppy small = MakeFloppy(1000);
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', small.disk); });
    user.Answer(kIdCancel);
    EXPECT_FALSE(zip.SpanZip(kPartPath, 0, 0));
    EXPECT_EQ(ShownTexts(),
              (std::vector<std::string>{FormatMsg(Msg::InsertDisk, 1), FormatMsg(Msg::InsufficientRoom)}));
    EXPECT_FALSE(folder.Exists(small.name + "/set.zip"));
}

// Putting the disk just written back in, when the next one is asked for, must not overwrite it.
TEST_F(Span, JustWrittenDiskPutBackIsAskedForAgain) {
    OpenSource(larktest::MixedArchive(600000).Bytes());
    std::string firstPart;
    bool putBack = false;
    user.Otherwise([&](const ShownBox& box) {
        if (floppies.size() == 1 && !putBack) {
            putBack = true;
            firstPart = folder.Read(floppies[0].name + "/set.zip");
            EXPECT_EQ(box.text, FormatMsg(Msg::InsertDisk, 2));
            platform::InsertDisk('A', floppies[0].disk);
            return static_cast<int>(kIdOk);
        }
        floppies.push_back(MakeFloppy());
        platform::InsertDisk('A', floppies.back().disk);
        return static_cast<int>(kIdOk);
    });
    EXPECT_TRUE(zip.SpanZip(kPartPath, k256K, 0));
    const std::vector<std::string> texts = ShownTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[1], FormatMsg(Msg::InsertDisk, 2));
    EXPECT_EQ(texts[2], FormatMsg(Msg::InsertDisk, 2)) << "asked again for disk 2";
    EXPECT_EQ(folder.Read(floppies[0].name + "/set.zip"), firstPart);
    EXPECT_EQ(floppies[0].disk->label, DiskLabel(1));
    EXPECT_EQ(floppies[1].disk->label, DiskLabel(2));
    ReadSet().Directory();
}

// A disk of an older set with the same name is fair game: only this run's parts are protected.
TEST_F(Span, DiskOfAnOlderSetIsReused) {
    OpenSource(larktest::MixedArchive(600000).Bytes());
    const larktest::Floppy old = MakeFloppy(larktest::kFloppyCapacity, DiskLabel(1));
    folder.Write(old.name + "/set.zip", "an older set's first part");
    user.Otherwise([&](const ShownBox&) {
        floppies.push_back(floppies.size() == 1 ? old : MakeFloppy());
        platform::InsertDisk('A', floppies.back().disk);
        return static_cast<int>(kIdOk);
    });
    EXPECT_TRUE(zip.SpanZip(kPartPath, k256K, 0));
    EXPECT_EQ(old.disk->label, DiskLabel(2));
    EXPECT_EQ(ShownTexts().size(), floppies.size());
    ReadSet().Directory();
}

TEST_F(Span, LabelRefusedByTheDriveFails) {
    OpenSource(larktest::MixedArchive(1000).Bytes());
    const larktest::Floppy locked = MakeFloppy();
    locked.disk->labelWritable = false;
    user.Answer(kIdOk, [&] { platform::InsertDisk('A', locked.disk); });
    EXPECT_EQ(ZipError([&] { zip.SpanZip(kPartPath, 0, 0); }), FormatMsg(Msg::UnableToCreateLabel));
    EXPECT_FALSE(folder.Exists(locked.name + "/set.zip"));
}

TEST_F(Span, BrokenSourceRecordsFail) {
    const larktest::BuiltArchive built = larktest::MixedArchive(300000).Build();
    struct Case {
        const char* name;
        size_t patchAt;
        Msg message;
    };
    const Case cases[] = {
        {"local header signature", built.layout.localHeaders[3], Msg::UnableToReadLocalHeader},
        {"central header signature", built.layout.centralHeaders[5], Msg::ErrorReadingCentral},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        floppies.clear();
        OpenSource(built.bytes);
        std::string broken = built.bytes;
        broken[c.patchAt] = 'X';
        folder.Write("source.zip", broken);  // changed after it was read
        FeedFreshFloppies();
        EXPECT_EQ(ZipError([&] { zip.SpanZip(kPartPath, k256K, 0); }), FormatMsg(c.message));
    }
}

// The central records go through the buffer whole, and one larger than the buffer is refused.
TEST_F(Span, CentralRecordLongerThanTheBufferIsRefused) {
    larktest::EntrySpec entry;
    entry.name = "long.bin";
    entry.data = larktest::Noise(300000, 9);
    entry.extra = std::string(kSpanBufferSize, 'e');
    OpenSource(ArchiveBuilder().Add(entry).Bytes());
    FeedFreshFloppies();
    EXPECT_EQ(ZipError([&] { zip.SpanZip(kPartPath, k256K, 0); }), FormatMsg(Msg::ErrorWritingCentralDir));
}

// The archive comment stands behind the end record on the last disk. When a disk has room for the
// directory but not for the comment, the directory's last records go on to another disk.
TEST_F(Span, CommentThatDoesNotFitTheLastDiskMovesTheDirectoryEndOn) {
    constexpr int64_t kCapacity = 300000;
    OpenSource(larktest::MixedArchive(560000).Comment("").Bytes());
    FeedFreshFloppies(kCapacity);
    ASSERT_TRUE(zip.SpanZip(kPartPath, 0, 0));
    const larktest::WrittenSet plain = ReadSet();
    ASSERT_EQ(plain.parts.size(), 2u);
    const size_t freeOnLast = kCapacity - plain.parts.back().size();
    ASSERT_LT(freeOnLast, 65535u) << "the comment must be one byte too long for the last disk";

    const std::string comment(freeOnLast + 1, 'c');
    floppies.clear();
    OpenSource(larktest::MixedArchive(560000).Comment(comment).Bytes());
    FeedFreshFloppies(kCapacity);
    EXPECT_TRUE(zip.SpanZip(kPartPath, 0, 0));
    const larktest::WrittenSet set = ReadSet();
    EXPECT_EQ(set.parts.size(), 3u);
    EXPECT_EQ(set.Directory().size(), static_cast<size_t>(zip.Count()));
    for (const std::string& part : set.parts) EXPECT_LE(part.size(), static_cast<size_t>(kCapacity));
    ASSERT_GE(set.parts.back().size(), comment.size());
    EXPECT_EQ(set.parts.back().substr(set.parts.back().size() - comment.size()), comment);
}
