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
    int64_t total =
        static_cast<int64_t>(endRecord.CentralDirSize()) + endRecord.CommentLength() + EndOfCentralHeader::size();
    TFileInfo entry;
    for (int32_t i = 0; i < archive.Count(); ++i) {
        archive.GetEntry(i, entry);
        const CentralFileHeader& header = entry.Header;
        total +=
            zip::LocalHeader::size() + header.FileNameLength() + header.ExtraFieldLength() + header.CompressedSize();
    }
    return total;
}

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
    if (archive.NeedsZip64()) throw ZipException(FormatMsg(Msg::NeedsZip64, zipFileName));
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
    const auto blockAppended = [&] {
        if (progress) {
            progress(DestFileName, static_cast<int32_t>(target.Stream().Size()), static_cast<int32_t>(progressTotal));
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
    source.reset();

    RewriteMergedDirectory(target.Stream(), endRecord, diskOffsets, DestFileName);
    target.Complete();
    return true;
}

void volumes::RewriteMergedDirectory(platform::Stream& target, EndOfCentralHeader work, const std::vector<int64_t>& diskOffsets,
                      const std::string& destFileName) {
    const int64_t size = target.Size();
    if (size > INT32_MAX) throw ZipException(FormatMsg(Msg::TooLarge, destFileName));
    const int64_t start = size - work.CommentLength() - EndOfCentralHeader::size() - work.CentralDirSize();
    if (start < 0) Fail(Msg::ErrorReadingEndOfCentral);
    const int64_t end = start + work.CentralDirSize();
    const int64_t disksCopied = static_cast<int64_t>(diskOffsets.size()) - 1;

    zip::StreamSource source(target);
    zip::DirectoryIterator directory(source, start, end, work.TotalEntries());
    while (directory.Next()) {
        CentralFileHeader header = directory.Header();
        // A disk the set does not have, or an offset outside the copied data, would give an
        // archive whose entries cannot be found.
        const uint16_t disk = header.DiskNumberStart();
        if (disk >= disksCopied) Fail(Msg::ErrorReadingCentral);
        const int64_t offset = header.LocalHeaderOffset() + diskOffsets[disk];
        if (offset < 0 || offset >= start) Fail(Msg::ErrorReadingCentral);

        header.SetU32(CentralFileHeader::kLocalHeaderOffset, static_cast<uint32_t>(offset));
        header.SetU16(CentralFileHeader::kDiskNumberStart, 0);
        if (target.Seek(directory.HeaderPosition(), Origin::Begin) < 0 || !zip::WriteRecord(target, header))
            Fail(Msg::ErrorWritingCentralDir);
    }
    // The end record goes where the directory's size says it stands, and nowhere else.
    if (directory.Failed() || directory.Position() != end) Fail(Msg::ErrorReadingCentral);

    work.SetU16(EndOfCentralHeader::kThisDisk, 0);
    work.SetU16(EndOfCentralHeader::kCentralDirDisk, 0);
    work.SetU16(EndOfCentralHeader::kEntriesOnDisk, work.TotalEntries());
    work.SetU32(EndOfCentralHeader::kCentralDirOffset, static_cast<uint32_t>(start));
    if (target.Seek(end, Origin::Begin) < 0 || !zip::WriteRecord(target, work)) Fail(Msg::ErrorWritingEndOfCentral);
}
