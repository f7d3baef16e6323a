// Spanning: writing the open archive across floppy disks as a multi-disk set, or whole onto one.
#include <algorithm>
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
using zip::LocalHeader;
using zip::Msg;

namespace {

using Buffer = std::vector<uint8_t>;

[[noreturn]] void Fail(Msg message) { throw ZipException(FormatMsg(message)); }

// The disks being written: asks for each one, checks its room, labels it and holds the part on it.
class SpanDisks {
public:
    SpanDisks(const std::string& destFileName, int32_t maxFileSize)
        : destFileName_(destFileName), root_(DriveRoot(destFileName)), maxFileSize_(maxFileSize) {}
    ~SpanDisks() {
        part_.reset();
        if (copying_) platform::CurrentUser().SetCursor(savedCursor_);
    }
    SpanDisks(const SpanDisks&) = delete;
    SpanDisks& operator=(const SpanDisks&) = delete;

    // Asks for the next disk until one with room is in the drive, then labels it. False on Cancel.
    bool PrepareSpanDisk() {
        ++diskNumber_;
        const std::string insert = FormatMsg(Msg::InsertDisk, diskNumber_);
        if (!AskToContinue(insert)) return false;
        for (;;) {
            // A disk written a moment ago, put back by mistake, would be overwritten: ask again.
            if (HoldsPartOfThisSet()) {
                if (!AskToContinue(insert)) return false;
                continue;
            }
            room_ = GetDriveFreeSpace(root_);
            if (room_ >= kMinSpanSize) break;
            if (!AskToContinue(FormatMsg(Msg::InsufficientRoom))) return false;
        }
        SetLabel(DiskLabel(diskNumber_));
        return true;
    }

    // Closes the part on the full disk and opens one on the next. False on Cancel, with no part open.
    bool ChangeSpanDisk() {
        partSizes_.push_back(part_->Size());
        part_.reset();
        platform::CurrentUser().SetCursor(savedCursor_);
        if (!PrepareSpanDisk()) return false;
        platform::CurrentUser().SetCursor(platform::Cursor::Busy);
        CreatePart();
        if (maxFileSize_ > 0) room_ = Min(room_, maxFileSize_);
        part_->ReserveRoomTo(room_);
        return true;
    }

    // Remembers the cursor shown now, to put it back around every prompt and at the end.
    void StartCopying() {
        savedCursor_ = platform::CurrentUser().SetCursor(platform::Cursor::Busy);
        copying_ = true;
    }

    void CreatePart() { part_ = std::make_unique<FileStream>(destFileName_, platform::Access::Create); }

    void SetLabel(const std::string& label) {
        if (!platform::SetVolumeLabel(root_, label)) Fail(Msg::UnableToCreateLabel);
    }

    FileStream& Part() { return *part_; }
    int32_t DiskNumber() const { return diskNumber_; }
    int32_t& Room() { return room_; }

private:
    // The disk in the drive carries the label of a disk already written in this run and that
    // disk's part, byte count and all.
    bool HoldsPartOfThisSet() const {
        const int32_t disk = GetDiskNumberFromLabel(destFileName_);
        if (disk < 1 || disk > static_cast<int32_t>(partSizes_.size())) return false;
        FileStream part(destFileName_, platform::Access::Read, platform::Share::DenyNone);
        return part.Size() == partSizes_[disk - 1];
    }

    std::string destFileName_;
    std::string root_;
    int32_t maxFileSize_;
    int32_t diskNumber_ = 0;
    int32_t room_ = 0;
    std::vector<int64_t> partSizes_;  // of the finished parts, by disk
    std::unique_ptr<FileStream> part_;
    platform::Cursor savedCursor_ = platform::Cursor::Default;
    bool copying_ = false;
};

// The entry's local record at its place in the source, checked.
LocalHeader ReadLocalHeader(FileStream& source, int64_t position) {
    LocalHeader header;
    if (source.Seek(position, Origin::Begin) < 0 || !zip::ReadRecord(source, header) ||
        header.Signature() != zip::kLocalHeaderSignature)
        Fail(Msg::UnableToReadLocalHeader);
    return header;
}

// The data descriptor is not carried over, so the header must hold what it held.
void TakeSizesFromCentral(LocalHeader& local, const CentralFileHeader& central) {
    if ((local.Flags() & zip::kFlagDataDescriptor) == 0) return;
    local.SetU16(LocalHeader::kFlags, static_cast<uint16_t>(local.Flags() & ~zip::kFlagDataDescriptor));
    local.SetU32(LocalHeader::kCrc32, central.Crc32());
    local.SetU32(LocalHeader::kCompressedSize, central.CompressedSize());
    local.SetU32(LocalHeader::kUncompressedSize, central.UncompressedSize());
}

// Copies the archive's records from the source into the set, asking for disks as they fill.
// Each copy returns false when the user cancelled a prompt for the next disk.
class SetWriter {
public:
    SetWriter(FileStream& source, SpanDisks& disks, Buffer& buffer, int64_t shift, std::function<void()> blockCopied)
        : source_(source), disks_(disks), buffer_(buffer), shift_(shift), blockCopied_(std::move(blockCopied)) {}

    // Header, name and extra field on one disk; the data wherever there is room.
    bool CopyLocalRecord(TFileInfo& entry) {
        int32_t& room = disks_.Room();
        LocalHeader header = ReadLocalHeader(source_, entry.Header.LocalHeaderOffset() + shift_);
        const int32_t variable = header.FileNameLength() + header.ExtraFieldLength();
        if (LocalHeader::size() + variable > room && !disks_.ChangeSpanDisk()) return false;
        entry.SpanDisk = disks_.DiskNumber() - 1;
        entry.SpanOffset = static_cast<int32_t>(disks_.Part().Position());
        TakeSizesFromCentral(header, entry.Header);

        if (!zip::WriteRecord(disks_.Part(), header)) Fail(Msg::UnableToWriteLocalHeader);
        room -= LocalHeader::size();
        const int64_t written = zip::CopyBytes(source_, disks_.Part(), variable, buffer_).copied;
        room -= static_cast<int32_t>(written);
        if (written != variable) Fail(Msg::UnableToWriteLocalHeader);
        // The directory's size: a local header may hold ZIP64 placeholders instead.
        return CopyData(static_cast<int64_t>(entry.PackedSize));
    }

    // No record split between disks, and room kept behind each for the end record; behind the
    // last one also for the archive comment, which must stand on the same disk.
    bool CopyCentralDirectory(const std::vector<TFileInfo>& entries, EndOfCentralHeader& work) {
        int32_t& room = disks_.Room();
        work.SetU16(EndOfCentralHeader::kEntriesOnDisk, 0);
        const int64_t start = work.CentralDirOffset() + shift_;
        zip::StreamSource source(source_);
        zip::DirectoryIterator directory(source, start, zip::ByteCursor::kNoEnd, static_cast<int32_t>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            if (!directory.Next()) Fail(Msg::ErrorReadingCentral);
            CentralFileHeader header = directory.Header();
            const int32_t variable = header.VariableLength();
            const int32_t behind = EndOfCentralHeader::size() + (i + 1 == entries.size() ? work.CommentLength() : 0);
            if (CentralFileHeader::size() + variable + behind > room) {
                if (!disks_.ChangeSpanDisk()) return false;
                work.SetU16(EndOfCentralHeader::kEntriesOnDisk, 0);
            }
            work.SetU16(EndOfCentralHeader::kEntriesOnDisk, static_cast<uint16_t>(work.EntriesOnDisk() + 1));
            if (i == 0) {
                work.SetU16(EndOfCentralHeader::kCentralDirDisk, static_cast<uint16_t>(disks_.DiskNumber() - 1));
                work.SetU32(EndOfCentralHeader::kCentralDirOffset, static_cast<uint32_t>(disks_.Part().Position()));
            }
            header.SetU16(CentralFileHeader::kDiskNumberStart, static_cast<uint16_t>(entries[i].SpanDisk));
            header.SetU32(CentralFileHeader::kLocalHeaderOffset, static_cast<uint32_t>(entries[i].SpanOffset));

            if (!zip::WriteRecord(disks_.Part(), header)) Fail(Msg::ErrorWritingCentralDir);
            room -= CentralFileHeader::size();
            if (variable > kSpanBufferSize) Fail(Msg::ErrorWritingCentralDir);
            // Name, extra field and comment as the directory holds them, in one write.
            const int32_t written = disks_.Part().Write(directory.VariableFields().data(), variable);
            room -= written > 0 ? written : 0;
            if (written != variable) Fail(Msg::ErrorWritingCentralDir);
        }
        return true;
    }

    // The archive comment, from `position` in the source; the directory kept room for it. Read and
    // written a buffer's worth at a time: a comment can be twice the buffer's size.
    void CopyComment(int64_t position, int32_t length) {
        if (length <= 0) return;
        if (source_.Seek(position, Origin::Begin) < 0) Fail(Msg::UnableToReadZipComment);
        for (int32_t done = 0; done < length;) {
            const int32_t piece = Min(length - done, kSpanBufferSize);
            if (source_.Read(buffer_.data(), piece) != piece) Fail(Msg::UnableToReadZipComment);
            if (disks_.Part().Write(buffer_.data(), piece) != piece) Fail(Msg::UnableToWriteZipComment);
            done += piece;
        }
    }

private:
    bool CopyData(int64_t size) {
        int32_t& room = disks_.Room();
        for (int64_t done = 0; done < size;) {
            if (room <= 0 && !disks_.ChangeSpanDisk()) return false;
            const int32_t block = static_cast<int32_t>(std::min<int64_t>({size - done, kCopyBlockSize, room}));
            const FileStream::Copied copied = disks_.Part().CopyFrom(source_, block, dataBuffer_);
            done += copied.written;
            room -= copied.written;
            // Bytes read but not written would be missing from the set without a trace.
            if (copied.written == 0 || copied.written != copied.read) Fail(Msg::UnableToWriteLocalData);
            blockCopied_();
        }
        return true;
    }

    FileStream& source_;
    SpanDisks& disks_;
    Buffer& buffer_;
    Buffer dataBuffer_ = Buffer(kCopyBlockSize);
    int64_t shift_;
    std::function<void()> blockCopied_;
};

}  // namespace

bool volumes::SpanZip(zip::Archive& archive, const std::string& DestFileName, int32_t MaxFileSize,
                      int32_t Disk1Reserve, const VolumeProgress& progress) {
    const std::string& zipFileName = archive.ZipFileName();
    const TEOCHInfo& endOfCentral = archive.EndOfCentral();
    if (zipFileName.empty() || DestFileName.empty() || endOfCentral.Position < 0) return false;
    if (GetPathDriveType(DestFileName) != platform::kDriveRemovable) Fail(Msg::SpanOnlyOnFloppy);
    const EndOfCentralHeader& endRecord = endOfCentral.EndRecord;
    if (endRecord.ThisDisk() > 0 || GetPathDriveType(zipFileName) == platform::kDriveRemovable)
        Fail(Msg::SourceOnFloppy);
    if (MaxFileSize > 0 && MaxFileSize < kMinSpanSize) Fail(Msg::MaxFileSizeTooSmall);
    if (MaxFileSize > 0 && static_cast<int64_t>(MaxFileSize) - Disk1Reserve < kMinSpanSize)
        Fail(Msg::Disk1SizeTooSmall);
    // The set's records are 32-bit: an archive that needs ZIP64 is not spanned.
    if (archive.NeedsZip64()) throw ZipException(FormatMsg(Msg::NeedsZip64, zipFileName));
    // A directory that was not read whole would give a set without some of its entries.
    if (archive.Count() != endRecord.TotalEntries()) Fail(Msg::ErrorReadingCentral);

    SpanDisks disks(DestFileName, MaxFileSize);
    if (!disks.PrepareSpanDisk()) return false;
    int32_t& room = disks.Room();
    if (MaxFileSize > 0) room = Min(room, MaxFileSize);
    room -= Disk1Reserve;

    disks.StartCopying();
    FileStream source(zipFileName, platform::Access::Read, platform::Share::DenyWrite);
    disks.CreatePart();
    Buffer buffer(kSpanBufferSize);

    const int64_t sourceSize = source.Size();
    disks.Part().ReserveRoomTo(std::min<int64_t>(room, sourceSize));
    if (room > sourceSize) {
        // It fits: an ordinary copy, stub and all, on a disk without a set's label.
        disks.SetLabel("");
        Buffer blocks(kCopyBlockSize);
        if (!zip::CopyBytes(source, disks.Part(), sourceSize, blocks).Whole(sourceSize)) Fail(Msg::UnableToWriteLocalData);
        return true;
    }

    if (!zip::WriteRecord(disks.Part(), zip::MultiDiskMarker::Make())) Fail(Msg::UnableToWriteLocalData);
    room -= zip::MultiDiskMarker::size();
    const int64_t shift = archive.DirectoryEnd() - endRecord.CentralDirSize() - endRecord.CentralDirOffset();
    SetWriter writer(source, disks, buffer, shift, [&] {
        if (progress) progress(DestFileName, static_cast<int32_t>(source.Position()), static_cast<int32_t>(sourceSize));
        platform::CurrentUser().ProcessMessages();
    });
    std::vector<TFileInfo> entries = archive.EntryList();
    for (TFileInfo& entry : entries)
        if (!writer.CopyLocalRecord(entry)) return false;
    archive.RecordSpanPositions(entries);
    EndOfCentralHeader work = endRecord;
    if (!writer.CopyCentralDirectory(entries, work)) return false;

    work.SetU16(EndOfCentralHeader::kThisDisk, static_cast<uint16_t>(disks.DiskNumber() - 1));
    if (!zip::WriteRecord(disks.Part(), work)) Fail(Msg::ErrorWritingEndOfCentral);
    // The comment stands behind the source's end record, whatever lies between it and the directory.
    writer.CopyComment(static_cast<int64_t>(endOfCentral.Position) + EndOfCentralHeader::size(),
                       endRecord.CommentLength());
    return true;
}
