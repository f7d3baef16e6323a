// The floppy fixture for spanning and merging tests, and the walk over a written set.
#include "tests/volumes/FloppySet.h"

#include <algorithm>

#include "archive/DiskUtils.h"
#include "platform/Drives.h"
#include "zipformat/EndRecord.h"

using zip::CentralFileHeader;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace larktest {
namespace {

template <class R>
bool RecordAt(const std::string& bytes, size_t position, R& record) {
    if (position + R::kSize > bytes.size()) return false;
    std::copy(bytes.begin() + position, bytes.begin() + position + R::kSize, record.data());
    return true;
}

}  // namespace

std::string Noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

ArchiveBuilder MixedArchive(size_t size) {
    ArchiveBuilder builder;
    builder.Add("docs/", "");
    EntrySpec readme;
    readme.name = "docs/readme.txt";
    readme.data = "a few words\r\n";
    readme.comment = "the readme";
    builder.Add(readme);
    const size_t large = size / 4;
    for (uint32_t i = 0; i < 4; ++i) {
        EntrySpec entry;
        entry.name = "data/" + std::string(5 + 7 * i, 'n') + std::to_string(i) + ".bin";
        entry.data = Noise(large + 997 * i, i);
        if (i == 1) entry.extra = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
        builder.Add(entry);
    }
    builder.Add("last.txt", "the end\n");
    return builder.Comment("the set's comment");
}

std::vector<SetRecord> WrittenSet::Directory() const {
    std::vector<SetRecord> records;
    if (parts.empty()) {
        ADD_FAILURE() << "no parts";
        return records;
    }
    MemoryStream last(parts.back());
    const int32_t endPosition = zip::FindEndOfCentralDir(last);
    EndOfCentralHeader end;
    if (endPosition < 0 || !RecordAt(parts.back(), endPosition, end)) {
        ADD_FAILURE() << "no end record on the last disk";
        return records;
    }
    EXPECT_EQ(end.ThisDisk(), parts.size() - 1);
    size_t disk = end.CentralDirDisk();
    size_t position = end.CentralDirOffset();
    for (int i = 0; i < end.TotalEntries(); ++i) {
        // A record never spans two disks: one that ends a part leaves the next one to its next disk.
        if (disk < parts.size() && position == parts[disk].size()) {
            ++disk;
            position = 0;
        }
        SetRecord record{disk, position, {}};
        if (disk >= parts.size() || !RecordAt(parts[disk], position, record.header) ||
            record.header.Signature() != zip::kCentralHeaderSignature) {
            ADD_FAILURE() << "no central record " << i << " at disk " << disk << " position " << position;
            return records;
        }
        const size_t localDisk = record.header.DiskNumberStart();
        zip::LocalHeader local;
        EXPECT_TRUE(localDisk < parts.size() && RecordAt(parts[localDisk], record.header.LocalHeaderOffset(), local) &&
                    local.Signature() == zip::kLocalHeaderSignature)
            << "entry " << i << " points at disk " << localDisk << " offset " << record.header.LocalHeaderOffset();
        position += CentralFileHeader::kSize + record.header.VariableLength();
        records.push_back(record);
    }
    EXPECT_EQ(disk, parts.size() - 1) << "the end record follows the last central record";
    EXPECT_EQ(position, static_cast<size_t>(endPosition));
    return records;
}

FloppyTest::FloppyTest() { platform::MapDrive('A', platform::kDriveRemovable, nullptr); }

Floppy FloppyTest::MakeFloppy(int64_t capacity, const std::string& label) {
    Floppy floppy;
    floppy.name = "floppy" + std::to_string(++made);
    floppy.disk = platform::MakeDisk(folder.NativePath(floppy.name), label, capacity);
    return floppy;
}

void FloppyTest::FeedFreshFloppies(int64_t capacity) {
    user.Otherwise([this, capacity](const ShownBox& box) {
        EXPECT_EQ(box.text, FormatMsg(Msg::InsertDisk, static_cast<int>(floppies.size()) + 1));
        EXPECT_EQ(box.caption, zip::kApplicationTitle);
        EXPECT_EQ(box.flags, 0x41u);
        EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Default) << "a prompt under the hourglass";
        floppies.push_back(MakeFloppy(capacity));
        platform::InsertDisk('A', floppies.back().disk);
        return static_cast<int>(platform::kIdOk);
    });
}

void FloppyTest::ServeSetDisks() {
    user.Otherwise([this](const ShownBox& box) {
        for (size_t k = 1; k <= floppies.size(); ++k) {
            if (box.text != FormatMsg(Msg::InsertDisk, static_cast<int>(k))) continue;
            platform::InsertDisk('A', floppies[k - 1].disk);
            return static_cast<int>(platform::kIdOk);
        }
        ADD_FAILURE() << "unexpected box \"" << box.text << "\"";
        return static_cast<int>(platform::kIdCancel);
    });
}

std::string FloppyTest::OpenSource(const std::string& bytes) {
    sourceBytes = bytes;
    const std::string path = folder.Write("source.zip", bytes);
    zip.SetZipFileName(path);
    return path;
}

WrittenSet FloppyTest::SpanToFreshFloppies(int32_t maxFileSize, int32_t disk1Reserve) {
    FeedFreshFloppies();
    EXPECT_TRUE(zip.SpanZip(kPartPath, maxFileSize, disk1Reserve));
    EXPECT_EQ(folder.Read("source.zip"), sourceBytes) << "spanning changed its source";
    EXPECT_EQ(user.CurrentCursor(), platform::Cursor::Default);
    return ReadSet();
}

bool FloppyTest::MergeSet(TZip& set, const std::string& target) {
    platform::InsertDisk('A', floppies.back().disk);
    ServeSetDisks();
    set.SetZipFileName(kPartPath);
    return set.MergeSpannedZip(target);
}

WrittenSet FloppyTest::ReadSet() const {
    WrittenSet set;
    for (const Floppy& floppy : floppies) set.parts.push_back(folder.Read(floppy.name + "/set.zip"));
    return set;
}

void FloppyTest::WritePart(size_t disk, const std::string& bytes) const {
    folder.Write(floppies.at(disk).name + "/set.zip", bytes);
}

void FloppyTest::PutSetOnFloppies(const std::vector<std::string>& parts) {
    for (size_t k = 0; k < parts.size(); ++k) {
        floppies.push_back(MakeFloppy(kFloppyCapacity, DiskLabel(static_cast<int32_t>(k + 1))));
        WritePart(floppies.size() - 1, parts[k]);
    }
}

std::vector<std::string> FloppyTest::ShownTexts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : user.Shown()) texts.push_back(box.text);
    return texts;
}

}  // namespace larktest
