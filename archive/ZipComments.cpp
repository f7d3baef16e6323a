// Editing the archive comment and one entry's comment in place in the archive file.
#include <algorithm>
#include <vector>

#include "archive/Archive.h"
#include "platform/Files.h"
#include "zipformat/Directory.h"

using platform::FileStream;
using platform::Origin;
using zip::CentralFileHeader;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace {

void RefuseOverlongComment(const std::string& comment) {
    if (comment.size() > static_cast<size_t>(zip::kMaxFieldLength)) throw ZipException(FormatMsg(Msg::CommentTooLong));
}

FileStream OpenForEditing(const std::string& path) {
    return FileStream(path, platform::Access::ReadWrite, platform::Share::DenyWrite);
}

std::string ReadToEnd(platform::Stream& file, int64_t from) {
    const int64_t size = file.Size();
    std::string bytes;
    if (from >= size || file.Seek(from, Origin::Begin) < 0) return bytes;
    bytes.resize(static_cast<size_t>(size - from));
    bytes.resize(file.Read(&bytes[0], static_cast<int32_t>(bytes.size())));
    return bytes;
}

bool WriteAll(platform::Stream& file, const std::string& bytes) {
    return bytes.empty() || file.Write(bytes.data(), static_cast<int32_t>(bytes.size())) == static_cast<int32_t>(bytes.size());
}

// Replaces everything from `position` to the end of the file with `newTail`. When the disk takes
// less than all of it, the old bytes go back, so a full disk leaves the archive as it was.
void ReplaceTail(platform::Stream& file, int64_t position, const std::string& oldTail, const std::string& newTail) {
    if (file.Seek(position, Origin::Begin) >= 0 && WriteAll(file, newTail) && file.Truncate()) return;
    file.Seek(position, Origin::Begin);
    WriteAll(file, oldTail);
    file.Truncate();
    throw ZipException(FormatMsg(Msg::ErrorWritingComment));
}

// Writes `newBytes` over `oldBytes` of the same length; a short write puts the old bytes back.
void OverwriteInPlace(platform::Stream& file, int64_t position, const std::string& oldBytes, const std::string& newBytes) {
    if (file.Seek(position, Origin::Begin) >= 0 && WriteAll(file, newBytes)) return;
    file.Seek(position, Origin::Begin);
    WriteAll(file, oldBytes);
    throw ZipException(FormatMsg(Msg::ErrorWritingComment));
}

template <class R>
void PutRecordAt(std::string& bytes, int64_t at, const R& record) {
    if (at >= 0 && at + record.size() <= static_cast<int64_t>(bytes.size()))
        bytes.replace(at, record.size(), reinterpret_cast<const char*>(record.data()), record.size());
}

template <class R>
bool GetRecordAt(const std::string& bytes, int64_t at, R& record) {
    if (at < 0 || at + record.size() > static_cast<int64_t>(bytes.size())) return false;
    std::copy(bytes.begin() + at, bytes.begin() + at + record.size(), record.data());
    return true;
}

// The ZIP64 end record must go on holding the directory's size, or the archive stops opening, and
// the locator follows its record as that moves by `delta`. `at` is the ZIP64 end record's position
// in `bytes`, `locatorAt` the locator's.
void UpdateZip64Records(std::string& bytes, int64_t at, int64_t locatorAt, int64_t directorySize, int32_t delta) {
    zip::Zip64EndRecord end64;
    zip::Zip64Locator locator;
    if (!GetRecordAt(bytes, at, end64) || !GetRecordAt(bytes, locatorAt, locator)) return;
    end64.SetU64(zip::Zip64EndRecord::kCentralDirSize, static_cast<uint64_t>(directorySize));
    locator.SetU64(zip::Zip64Locator::kEndRecordOffset, locator.EndRecordOffset() + delta);
    PutRecordAt(bytes, at, end64);
    PutRecordAt(bytes, locatorAt, locator);
}

}  // namespace

void zip::Archive::SetZipComment(const std::string& comment) {
    if (zipFileName_.empty() || endOfCentral_.EndRecord.ThisDisk() != 0 || comment == endOfCentral_.Comment) return;
    RefuseOverlongComment(comment);
    if (endOfCentral_.Position < 0) return;

    FileStream file = OpenForEditing(zipFileName_);
    const std::string encoded = EncodeArchiveComment(comment);
    EndOfCentralHeader record = endOfCentral_.EndRecord;
    record.SetU16(EndOfCentralHeader::kCommentLength, static_cast<uint16_t>(encoded.size()));

    const std::string oldTail = ReadToEnd(file, endOfCentral_.Position);
    std::string newTail(reinterpret_cast<const char*>(record.data()), record.size());
    newTail += encoded;
    ReplaceTail(file, endOfCentral_.Position, oldTail, newTail);

    endOfCentral_.EndRecord = record;
    endOfCentral_.Comment = comment;
    ContentsChanged();
}

void zip::Archive::SetFileComment(int32_t index, const std::string& comment) {
    if (zipFileName_.empty() || endOfCentral_.EndRecord.ThisDisk() != 0 || index < 0 || index >= Count()) return;
    RefuseOverlongComment(comment);
    if (endOfCentral_.Position < 0) return;

    FileStream file = OpenForEditing(zipFileName_);
    const int64_t endPosition = endOfCentral_.Position;
    const int64_t directoryEnd = DirectoryEnd();

    // Walk the directory to the entry; a record that cannot be read ends the walk with no change.
    zip::StreamSource source(file);
    zip::DirectoryIterator directory(source, directoryEnd - directorySize_, directoryEnd, entryCount_);
    bool found = false;
    while (!found && directory.Next()) found = directory.Index() == index;
    if (!found) return;
    CentralFileHeader header = directory.Header();
    const int64_t headerPosition = directory.HeaderPosition();
    const std::string oldComment(directory.Comment());

    const std::string encoded = EncodeEntryComment(header, comment);
    // UTF-8 may take more bytes than the characters typed.
    RefuseOverlongComment(encoded);
    const int32_t newLength = static_cast<int32_t>(encoded.size());
    const int32_t oldLength = header.FileCommentLength();
    // An unchanged comment leaves the file untouched.
    if (encoded == oldComment) return;

    const int64_t commentPosition = headerPosition + header.size() + header.FileNameLength() + header.ExtraFieldLength();
    const int32_t delta = newLength - oldLength;
    EndOfCentralHeader record = endOfCentral_.EndRecord;
    if (delta == 0) {
        // Same length: only the comment bytes change, in place.
        OverwriteInPlace(file, commentPosition, oldComment, encoded);
    } else {
        // Another length moves everything behind the comment: the following records, the end
        // record (with the new directory size) and the archive comment.
        const std::string oldTail = ReadToEnd(file, headerPosition);
        const int64_t tailAfterComment = commentPosition + oldLength - headerPosition;
        if (static_cast<int64_t>(oldTail.size()) < tailAfterComment) return;
        // A saturated size stays saturated: the ZIP64 record holds the real one.
        if (record.CentralDirSize() != zip::kZip64Marker32)
            record.SetU32(EndOfCentralHeader::kCentralDirSize, record.CentralDirSize() + delta);
        header.SetU16(CentralFileHeader::kFileCommentLength, static_cast<uint16_t>(newLength));

        std::string newTail(reinterpret_cast<const char*>(header.data()), header.size());
        newTail.append(oldTail, header.size(), commentPosition - headerPosition - header.size());
        newTail += encoded;
        std::string rest = oldTail.substr(tailAfterComment);
        const int64_t restStart = commentPosition + oldLength;
        PutRecordAt(rest, endPosition - restStart, record);
        if (zip64RecordsSize_ > 0) {
            UpdateZip64Records(rest, directoryEnd - restStart, endPosition - static_cast<int64_t>(zip::Zip64Locator::kSize) - restStart,
                               directorySize_ + delta, delta);
        }
        newTail += rest;
        ReplaceTail(file, headerPosition, oldTail, newTail);
    }

    endOfCentral_.EndRecord = record;
    endOfCentral_.Position = endPosition + delta;
    directorySize_ += delta;
    entries_.SetComment(static_cast<size_t>(index), comment, static_cast<uint16_t>(newLength));
    ContentsChanged();
}
