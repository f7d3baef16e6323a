// The archive as data: opening and creating an archive, and reading its end record and central directory.
#include "archive/Archive.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/DiskUtils.h"
#include "platform/Files.h"
#include "platform/User.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"
#include "zipformat/UnicodeNames.h"
#include "zipformat/Utf8.h"

using platform::FileStream;
using platform::Origin;
using zip::CentralFileHeader;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace {

std::unique_ptr<FileStream> OpenForReading(const std::string& path) {
    return std::make_unique<FileStream>(path, platform::Access::Read, platform::Share::DenyWrite);
}

}  // namespace

zip::Archive::Archive() : tempDir_(GetTempDirectory()) {
    endOfCentral_.EndRecord = zip::EndOfCentralHeader();
}

void zip::Archive::ResetArchiveState() {
    endOfCentral_.EndRecord = EndOfCentralHeader::Empty();
    endOfCentral_.Comment.clear();
    endOfCentral_.Position = -1;
    sfxOffset_ = 0;
    zip64RecordsSize_ = 0;
    directorySize_ = directoryOffset_ = 0;
    entryCount_ = 0;
    needsZip64_ = false;
    diskPromptCancelled_ = false;
    ClearEntries();
}

void zip::Archive::SetZipFileName(const std::string& path) {
    password_.clear();
    oemNames_ = false;
    ResetArchiveState();
    zipFileName_ = path;
    if (!path.empty()) {
        std::string label;
        if (!GetVolumeLabel(ExtractFileDrive(path), label)) throw ZipException(FormatMsg(Msg::UnableToAccessDrive));
        if (!platform::FileExists(path)) CreateEmptyArchive();
        ReadDirectory();
    }
    ContentsChanged();
}

void zip::Archive::CreateEmptyArchive() {
    bool written = false;
    try {
        FileStream file(zipFileName_, platform::Access::Create, platform::Share::Exclusive);
        written = zip::WriteRecord(file, endOfCentral_.EndRecord);
    } catch (const platform::FileError&) {
        written = false;
    }
    if (!written) {
        // A short first record would be left as a file that is not an archive: take it away.
        platform::DeleteFile(zipFileName_);
        throw ZipException(FormatMsg(Msg::UnableToCreate, zipFileName_));
    }
}

void zip::Archive::GetEntry(int32_t index, TFileInfo& dest) const {
    if (index < 0 || index >= Count()) throw ZipException(FormatMsg(Msg::IndexRangeError));
    entries_.Read(static_cast<size_t>(index), dest);
}

std::vector<TFileInfo> zip::Archive::EntryList() const {
    std::vector<TFileInfo> list(entries_.Size());
    for (size_t i = 0; i < list.size(); ++i) entries_.Read(i, list[i]);
    return list;
}

void zip::Archive::RecordSpanPositions(const std::vector<TFileInfo>& spanned) {
    for (size_t i = 0; i < spanned.size() && i < entries_.Size(); ++i)
        entries_.SetSpanPosition(i, spanned[i].SpanDisk, spanned[i].SpanOffset);
}

void zip::Archive::SetPassword(const std::string& password) {
    if (password.size() > kMaxPasswordLength) throw ZipException(FormatMsg(Msg::PasswordTooLong));
    password_ = password;
}

std::string zip::Archive::DecodeArchiveComment(const std::string& stored) const {
    return zip::ArchiveCommentUtf8(stored, oemNames_);
}

std::string zip::Archive::EncodeArchiveComment(const std::string& comment) const {
    return zip::StoredArchiveCommentFor(comment, oemNames_);
}

std::string zip::Archive::EncodeEntryComment(const zip::CentralFileHeader& header, const std::string& comment) const {
    if ((header.Flags() & zip::kFlagUtf8) != 0) return zip::ValidUtf8(comment);
    return zip::CodePageCommentFor(comment, oemNames_);
}

void zip::Archive::ReadDirectory() {
    ClearEntries();
    diskPromptCancelled_ = false;
    if (zipFileName_.empty()) return;

    auto file = OpenForReading(zipFileName_);
    int64_t position = -1;
    for (;;) {
        position = zip::FindEndOfCentralDir(*file);
        if (position >= 0) break;
        file.reset();
        // Without an end record the file may still be an earlier disk of a multi-disk set.
        const int32_t disk = GetDiskNumberFromLabel(zipFileName_);
        if (disk == 0) throw ZipException(FormatMsg(Msg::NotValidZip, zipFileName_));
        const int answer = platform::CurrentUser().MessageBox(FormatMsg(Msg::InsertLastDisk, disk),
                                                              zip::kApplicationTitle,
                                                              platform::kMbOkCancel | platform::kMbIconInformation);
        if (answer != platform::kIdOk) {
            diskPromptCancelled_ = true;
            return;
        }
        file = OpenForReading(zipFileName_);
    }

    endOfCentral_.Position = position;
    EndOfCentralHeader& record = endOfCentral_.EndRecord;
    if (!zip::ReadRecord(*file, record)) throw ZipException(FormatMsg(Msg::NotValidZip, zipFileName_));
    if (record.ThisDisk() > zip::kMaxDiskNumber || record.CentralDirDisk() > zip::kMaxDiskNumber)
        throw ZipException(FormatMsg(Msg::NotValidZip, zipFileName_));

    // The comment is decoded only after the first entry has told whether the archive is OEM text.
    std::string rawComment;
    rawComment.resize(record.CommentLength());
    if (file->Read(&rawComment[0], record.CommentLength()) != record.CommentLength()) rawComment.clear();
    struct CommentDecoder {
        zip::Archive& zip;
        const std::string& raw;
        ~CommentDecoder() { zip.endOfCentral_.Comment = zip.DecodeArchiveComment(raw); }
    } decodeCommentOnExit{*this, rawComment};

    CheckArchiveLimits(*file);
    if (entryCount_ == 0) return;

    if (record.CentralDirDisk() != record.ThisDisk()) {
        file.reset();
        if (!PromptForDisk(zipFileName_, record.CentralDirDisk() + 1)) {
            diskPromptCancelled_ = true;
            return;
        }
        file = OpenForReading(zipFileName_);
    }
    if (!ReadCentralHeaders(file)) {
        ClearEntries();
        throw ZipException(FormatMsg(Msg::ErrorReadingCentral));
    }
}

// Takes the 64-bit values from the ZIP64 records where the end record's fields are saturated, and
// refuses records that do not check out and directories that lie outside the file.
void zip::Archive::CheckArchiveLimits(platform::Stream& file) {
    zip::StreamSource source(file);
    zip::EndOfArchive end;
    end.position = endOfCentral_.Position;
    end.record = endOfCentral_.EndRecord;
    zip::ResolveZip64(source, end);
    if (end.zip64 == zip::Zip64State::Damaged) throw ZipException(FormatMsg(Msg::Zip64Damaged, zipFileName_));
    if (end.zip64 == zip::Zip64State::Contradicts)
        throw ZipException(FormatMsg(Msg::Zip64Contradicts, zipFileName_));
    if (end.zip64 == zip::Zip64State::OtherDisk) throw ZipException(FormatMsg(Msg::Zip64OnOtherDisk, zipFileName_));
    zip64RecordsSize_ = end.Zip64RecordsSize();
    directorySize_ = end.directorySize;
    directoryOffset_ = end.directoryOffset;
    entryCount_ = end.entries;
    needsZip64_ = end.NeedsZip64();

    // A multi-disk directory may start on another disk, so only a single-disk one can be checked here.
    const bool singleDisk = end.record.ThisDisk() == 0;
    if (singleDisk && entryCount_ != 0 && directorySize_ > DirectoryEnd())
        throw ZipException(FormatMsg(Msg::ErrorReadingCentral));
}

bool zip::Archive::ReadCentralHeaders(std::unique_ptr<platform::FileStream>& file) {
    const EndOfCentralHeader& record = endOfCentral_.EndRecord;
    const bool multiDisk = record.ThisDisk() != 0;
    const int64_t directoryEnd = DirectoryEnd();
    const int64_t directoryStart = multiDisk ? directoryOffset_ : directoryEnd - directorySize_;
    const int64_t fileSize = file->Size();
    int64_t lowestOffset = fileSize;

    auto source = std::make_unique<zip::StreamSource>(*file);
    // A single-disk directory is read within its own bounds, never into the end record behind it.
    zip::DirectoryIterator directory(*source, directoryStart, multiDisk ? zip::ByteCursor::kNoEnd : directoryEnd,
                                     entryCount_);
    // A count the directory cannot hold has failed already, before anything is reserved for it.
    if (directory.Failed()) return false;
    for (;;) {
        if (!directory.Next()) {
            if (!directory.Failed()) break;
            if (!multiDisk || !directory.HeaderCutShort()) return false;
            // The directory goes on on the next disk; a header is never split between disks.
            const int32_t disk = GetDiskNumberFromLabel(zipFileName_);
            if (disk == 0 || disk > record.ThisDisk()) return false;
            source.reset();
            file.reset();
            if (!PromptForDisk(zipFileName_, disk + 1)) return false;
            file = OpenForReading(zipFileName_);
            source = std::make_unique<zip::StreamSource>(*file);
            directory.ContinueOn(*source, 0);
            continue;
        }
        if (directory.Index() == 0) oemNames_ = directory.OemNames();

        TFileInfo entry;
        entry.Header = directory.Header();
        const CentralFileHeader& header = entry.Header;
        entry.ExtraField = std::string(directory.ExtraField());
        entry.FileName = zip::EntryNameUtf8(directory.Name(), header.Flags(), entry.ExtraField, oemNames_);
        std::replace(entry.FileName.begin(), entry.FileName.end(), '/', '\\');
        entry.FileComment = zip::EntryCommentUtf8(directory.Comment(), header.Flags(), entry.ExtraField, oemNames_);
        entry.Encrypted = (header.Flags() & zip::kFlagEncrypted) != 0;
        zip::Zip64Values values;
        if (!zip::ResolveZip64(header, entry.ExtraField, values)) return false;
        entry.Size = values.uncompressedSize;
        entry.PackedSize = values.compressedSize;
        entry.LocalOffset = values.localHeaderOffset;
        if (entry.Size >= zip::kZip64Marker32 || entry.PackedSize >= zip::kZip64Marker32 ||
            entry.LocalOffset >= zip::kZip64Marker32)
            needsZip64_ = true;

        if (values.localHeaderOffset < static_cast<uint64_t>(lowestOffset))
            lowestOffset = static_cast<int64_t>(values.localHeaderOffset);
        entries_.Add(entry);
    }

    entries_.Trim();
    sfxOffset_ = 0;
    if (!multiDisk && lowestOffset < fileSize) {
        const int64_t shift = directoryEnd - directorySize_ - directoryOffset_;
        const int64_t firstLocalHeader = lowestOffset + shift;
        // A stub size that comes out negative or past the end is not a stub.
        if (firstLocalHeader >= 0 && firstLocalHeader <= fileSize) sfxOffset_ = firstLocalHeader;
    }
    return true;
}
