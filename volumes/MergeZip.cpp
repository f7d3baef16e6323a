// Merging: joining the disks of a multi-disk set into one ordinary archive.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "volumes/Volumes.h"

#include "archive/Archive.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/User.h"
#include "archive/DiskUtils.h"
#include "zipformat/CopyBytes.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"

using platform::FileStream;
using platform::Origin;
using zip::CentralFileHeader;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace {

using Buffer = std::vector<uint8_t>;

[[noreturn]] void Fail(Msg message) { throw ZipException(FormatMsg(message)); }

// The merged archive is written under a temporary name beside the target and takes the target's
// name only once it is complete: a failed or cancelled merge leaves no half-written archive, and a
// file that already had the name stays as it was.
class MergeTarget {
public:
    explicit MergeTarget(const std::string& destFileName) : destFileName_(destFileName) {
        temp_.path = MakeTempFileNameIn(ExtractFilePath(destFileName));
        if (temp_.path.empty()) throw ZipException(FormatMsg(Msg::UnableToCreate, destFileName));
        stream_ = std::make_unique<FileStream>(temp_.path, platform::Access::ReadWrite, platform::Share::Exclusive);
    }

    FileStream& Stream() { return *stream_; }

    void Complete() {
        stream_.reset();
        if (!platform::MoveFile(temp_.path, destFileName_))
            throw ZipException(FormatMsg(Msg::UnableToCreate, destFileName_));
        temp_.path.clear();
    }

private:
    struct RemovedOnExit {
        std::string path;
        ~RemovedOnExit() {
            if (!path.empty()) platform::DeleteFile(path);
        }
    };

    std::string destFileName_;
    RemovedOnExit temp_;  // declared before the stream, so the file is closed first
    std::unique_ptr<FileStream> stream_;
};

// Shows the hourglass while one disk is copied and the default cursor afterwards, however it ends.
class CopyingCursor {
public:
    CopyingCursor() { platform::CurrentUser().SetCursor(platform::Cursor::Busy); }
    ~CopyingCursor() { platform::CurrentUser().SetCursor(platform::Cursor::Default); }
    CopyingCursor(const CopyingCursor&) = delete;
    CopyingCursor& operator=(const CopyingCursor&) = delete;
};

std::unique_ptr<FileStream> OpenPart(const std::string& path) {
    return std::make_unique<FileStream>(path, platform::Access::Read, platform::Share::DenyWrite);
}

// The size the merged archive will have when every local header carries the name and extra field
// of its central record.
int64_t MergedSize(const zip::Archive& archive, const EndOfCentralHeader& endRecord) {
    const int64_t zip64Records = archive.EndOfCentral().Position - archive.DirectoryEnd();
    int64_t total = archive.DirectorySize() + zip64Records + endRecord.CommentLength() + EndOfCentralHeader::size();
    TFileInfo entry;
    for (int32_t i = 0; i < archive.Count(); ++i) {
        archive.GetEntry(i, entry);
        total += zip::LocalHeader::size() + entry.Header.FileNameLength() +
                 static_cast<int64_t>(entry.ExtraField.size()) + entry.PackedSize;
    }
    return total;
}

// The progress callback counts in 32 bits: past 2 GiB both numbers are given in larger units.
int64_t ProgressUnit(int64_t total) { return total / INT32_MAX + 1; }

// Appends the part from its position to its end. Every write is checked (a full disk), and so is
// the count read, so that a disk that cannot be read to its end is not taken for a shorter part.
void AppendPart(FileStream& part, int32_t diskNumber, FileStream& target, Buffer& buffer,
                const std::string& destFileName, const std::function<void()>& blockAppended) {
    const int64_t expected = part.Size() - part.Position();
    const zip::CopyResult copy = zip::CopyBytes(part, target, expected, buffer, blockAppended);
    if (copy.writeShort) throw ZipException(FormatMsg(Msg::ErrorWritingMerged, destFileName));
    if (!copy.Whole(expected)) throw ZipException(FormatMsg(Msg::ErrorReadingDiskPart, diskNumber));
}

}  // namespace

bool volumes::MergeSpannedZip(const zip::Archive& archive, const std::string& DestFileName,
                              const VolumeProgress& progress) {
    const std::string& zipFileName = archive.ZipFileName();
    if (zipFileName.empty() || DestFileName.empty()) return false;
    const EndOfCentralHeader& endRecord = archive.EndOfCentral().EndRecord;
    if (endRecord.ThisDisk() == 0 || GetPathDriveType(zipFileName) != platform::kDriveRemovable)
        Fail(Msg::NotMultiDisk);
    const int64_t progressTotal = MergedSize(archive, endRecord);
    if (GetPathDriveType(DestFileName) != platform::kDriveFixed) Fail(Msg::MergeOnlyToFixed);

    // Asked whatever disk is in the drive: it usually holds the last disk, which the set was opened from.
    if (!AskToContinue(FormatMsg(Msg::InsertDisk, 1)) || !PromptForDisk(zipFileName, 1)) return false;

    const int32_t lastDisk = endRecord.ThisDisk() + 1;
    auto source = OpenPart(zipFileName);
    // Checked before the target exists, so a wrong first disk leaves nothing behind.
    zip::MultiDiskMarker marker;
    if (!zip::ReadRecord(*source, marker) || marker.Signature() != zip::kMultiDiskMarker)
        Fail(Msg::ErrorReadingDiskSignature);

    MergeTarget target(DestFileName);
    target.Stream().ReserveRoomTo(progressTotal);
    Buffer buffer(kCopyBlockSize);
    // The offsets stored for disk 0 count the marker, which is not copied.
    std::vector<int64_t> diskOffsets{-static_cast<int64_t>(zip::MultiDiskMarker::size())};
    const int64_t unit = ProgressUnit(progressTotal);
    const auto blockAppended = [&] {
        if (progress) {
            progress(DestFileName, static_cast<int32_t>(target.Stream().Size() / unit),
                     static_cast<int32_t>(progressTotal / unit));
        }
        platform::CurrentUser().ProcessMessages();
    };
    for (int32_t disk = 1;; ++disk) {
        {
            CopyingCursor cursor;
            AppendPart(*source, disk, target.Stream(), buffer, DestFileName, blockAppended);
        }
        diskOffsets.push_back(target.Stream().Size());
        if (disk == lastDisk) break;
        source.reset();
        if (!PromptForDisk(zipFileName, disk + 1)) return false;
        source = OpenPart(zipFileName);
    }
    // The last disk's end record with the ZIP64 values it stands for, as the reader took them.
    zip::StreamSource lastPart(*source);
    const zip::EndOfArchive setEnd = zip::FindEndOfArchive(lastPart);
    if (!setEnd.Usable()) Fail(Msg::ErrorReadingEndOfCentral);
    source.reset();

    RewriteMergedDirectory(target.Stream(), setEnd, diskOffsets, DestFileName);
    target.Complete();
    return true;
}

void volumes::RewriteMergedDirectory(platform::Stream& target, const zip::EndOfArchive& set,
                                     const std::vector<int64_t>& diskOffsets, const std::string& destFileName) {
    EndOfCentralHeader work = set.record;
    const int64_t endAt = target.Size() - work.CommentLength() - EndOfCentralHeader::size();
    const int64_t directoryEnd = endAt - set.Zip64RecordsSize();
    const int64_t start = directoryEnd - set.directorySize;
    if (start < 0) Fail(Msg::ErrorReadingEndOfCentral);
    const int64_t disksCopied = static_cast<int64_t>(diskOffsets.size()) - 1;
    // An offset of 4 GiB or more needs a ZIP64 field to carry it; the directory is never grown for one.
    const auto cannotCarry = [&] { throw ZipException(FormatMsg(Msg::TooLarge, destFileName)); };

    zip::StreamSource source(target);
    zip::DirectoryIterator directory(source, start, directoryEnd, set.entries);
    while (directory.Next()) {
        CentralFileHeader header = directory.Header();
        std::string extra(directory.ExtraField());
        zip::Zip64Values values;
        if (!zip::ResolveZip64(header, extra, values)) Fail(Msg::ErrorReadingCentral);
        // A disk the set does not have, or an offset outside the copied data, would give an
        // archive whose entries cannot be found.
        if (values.diskStart >= disksCopied) Fail(Msg::ErrorReadingCentral);
        if (values.localHeaderOffset >= static_cast<uint64_t>(start) + zip::MultiDiskMarker::size())
            Fail(Msg::ErrorReadingCentral);
        const int64_t offset = static_cast<int64_t>(values.localHeaderOffset) + diskOffsets[values.diskStart];
        if (offset < 0 || offset >= start) Fail(Msg::ErrorReadingCentral);

        if (!zip::SetLocalHeaderOffset(header, extra, static_cast<uint64_t>(offset))) cannotCarry();
        if (!zip::SetDiskNumberStart(header, extra, 0)) Fail(Msg::ErrorReadingCentral);
        const int32_t extraLength = static_cast<int32_t>(extra.size());
        if (target.Seek(directory.HeaderPosition(), Origin::Begin) < 0 || !zip::WriteRecord(target, header) ||
            target.Seek(header.FileNameLength(), Origin::Current) < 0 ||
            target.Write(extra.data(), extraLength) != extraLength)
            Fail(Msg::ErrorWritingCentralDir);
    }
    // The records behind the directory go where its size says it ends, and nowhere else.
    if (directory.Failed() || directory.Position() != directoryEnd) Fail(Msg::ErrorReadingCentral);

    const bool zip64Records = set.Zip64RecordsSize() > 0;
    if (zip64Records) {
        zip::Zip64EndRecord end64;
        if (target.Seek(directoryEnd, Origin::Begin) < 0 || !zip::ReadRecord(target, end64) ||
            end64.Signature() != zip::kZip64EndSignature)
            Fail(Msg::ErrorReadingEndOfCentral);
        end64.SetU32(zip::Zip64EndRecord::kThisDisk, 0);
        end64.SetU32(zip::Zip64EndRecord::kCentralDirDisk, 0);
        end64.SetU64(zip::Zip64EndRecord::kEntriesOnDisk, end64.TotalEntries());
        end64.SetU64(zip::Zip64EndRecord::kCentralDirOffset, static_cast<uint64_t>(start));
        if (target.Seek(directoryEnd, Origin::Begin) < 0 || !zip::WriteRecord(target, end64) ||
            target.Seek(endAt - zip::Zip64Locator::kSize, Origin::Begin) < 0 ||
            !zip::WriteRecord(target, zip::Zip64Locator::Make(static_cast<uint64_t>(directoryEnd))))
            Fail(Msg::ErrorWritingEndOfCentral);
    }
    // A saturated field stays saturated, the ZIP64 end record holding its value; an offset that no
    // longer fits is saturated only where that record exists.
    uint32_t directoryOffset = static_cast<uint32_t>(start);
    if (work.CentralDirOffset() == zip::kZip64Marker32 || start >= zip::kZip64Marker32) {
        if (!zip64Records) cannotCarry();
        directoryOffset = zip::kZip64Marker32;
    }
    work.SetU16(EndOfCentralHeader::kThisDisk, 0);
    work.SetU16(EndOfCentralHeader::kCentralDirDisk, 0);
    work.SetU16(EndOfCentralHeader::kEntriesOnDisk, work.TotalEntries());
    work.SetU32(EndOfCentralHeader::kCentralDirOffset, directoryOffset);
    if (target.Seek(endAt, Origin::Begin) < 0 || !zip::WriteRecord(target, work)) Fail(Msg::ErrorWritingEndOfCentral);

    // Bytes the set's reading passed over (a locator naming no record of the set, say) can read as
    // ZIP64 records once the archive is one disk; an archive that would then not open is refused.
    zip::StreamSource merged(target);
    const zip::EndOfArchive check = zip::FindEndOfArchive(merged);
    if (!check.Usable() || check.Shift() != 0) Fail(Msg::ErrorReadingEndOfCentral);
}
