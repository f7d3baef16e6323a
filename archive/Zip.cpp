// TZip: opening and creating an archive, and reading its end record and central directory.
#include "archive/Zip.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/ProgressForm.h"
#include "engine/ZipDlls.h"
#include "platform/Platform.h"
#include "volumes/DiskUtils.h"

using platform::FileStream;
using platform::Origin;
using zip::CentralFileHeader;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace {

// The directory is read through one buffer, so listing costs a read per 64 KiB, not per field.
class BufferedReader {
public:
    explicit BufferedReader(platform::Stream& stream) : stream_(&stream), buffer_(kBufferSize) {}

    // Starts over on another stream (the next disk of a set), dropping what was buffered.
    void Reset(platform::Stream& stream) {
        stream_ = &stream;
        begin_ = end_ = 0;
    }

    // Reads no more than `bytes` from here on.
    void Limit(int64_t bytes) { remaining_ = bytes; }

    int32_t Read(void* destination, int32_t count) {
        auto* out = static_cast<uint8_t*>(destination);
        int32_t done = 0;
        while (done < count) {
            if (begin_ == end_ && !Fill()) break;
            const int32_t chunk = std::min(count - done, end_ - begin_);
            std::memcpy(out + done, buffer_.data() + begin_, chunk);
            begin_ += chunk;
            done += chunk;
        }
        return done;
    }

    bool ReadString(std::string& text, int32_t length) {
        text.resize(length);
        return Read(&text[0], length) == length;
    }

private:
    static constexpr int32_t kBufferSize = 65536;

    bool Fill() {
        begin_ = 0;
        const int32_t wanted = remaining_ < kBufferSize ? static_cast<int32_t>(remaining_) : kBufferSize;
        end_ = wanted > 0 ? stream_->Read(buffer_.data(), wanted) : 0;
        if (end_ < 0) end_ = 0;
        remaining_ -= end_;
        return end_ > 0;
    }

    platform::Stream* stream_;
    std::vector<uint8_t> buffer_;
    int32_t begin_ = 0;
    int32_t end_ = 0;
    int64_t remaining_ = INT64_MAX;
};

constexpr int64_t kLargestArchive = INT32_MAX;


std::unique_ptr<FileStream> OpenForReading(const std::string& path) {
    return std::make_unique<FileStream>(path, platform::Access::Read, platform::Share::DenyWrite);
}

bool DecidesOemNames(const CentralFileHeader& header) {
    const uint8_t host = header.HostSystem();
    return host == zip::kHostMsDos || host == zip::kHostOs2 ||
           (host == zip::kHostNtfs && header.SpecVersion() == zip::kNtfsOemSpecVersion);
}

}  // namespace

TZip::TZip() : tempDir_(GetTempDirectory()) {
    endOfCentral_.EndRecord = zip::EndOfCentralHeader();
}

// The engine libraries are process-wide; releasing them here releases them for every TZip, and
// the next operation loads them again.
TZip::~TZip() { engine::UnloadDlls(); }

void TZip::ResetArchiveState() {
    endOfCentral_.EndRecord = EndOfCentralHeader::Empty();
    endOfCentral_.Comment.clear();
    endOfCentral_.Position = -1;
    sfxOffset_ = 0;
    zip64RecordsSize_ = 0;
    ClearEntries();
}

void TZip::SetZipFileName(const std::string& path) {
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

void TZip::CreateEmptyArchive() {
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

void TZip::ContentsChanged() {
    if (OnContentsChanged) OnContentsChanged(this);
}

void TZip::GetEntry(int32_t index, TFileInfo& dest) const {
    if (index < 0 || index >= Count()) throw ZipException(FormatMsg(Msg::IndexRangeError));
    dest = entries_[index];
}

void TZip::SetPassword(const std::string& password) {
    if (password.size() > kMaxPasswordLength) throw ZipException(FormatMsg(Msg::PasswordTooLong));
    password_ = password;
}

std::string TZip::DecodeOemText(const std::string& text) const {
    return !text.empty() && oemNames_ ? platform::OemToAnsi(text) : text;
}

std::string TZip::EncodeOemText(const std::string& text) const {
    return !text.empty() && oemNames_ ? platform::AnsiToOem(text) : text;
}

// Writers that mark an entry as UTF-8 (Python's zipfile does for every name beyond ASCII) mean it
// whatever the host system byte says; shown as stored, such names would be unreadable.
std::string TZip::DecodeEntryText(const zip::CentralFileHeader& header, const std::string& text) const {
    return (header.Flags() & zip::kFlagUtf8) != 0 ? platform::Utf8ToAnsi(text) : DecodeOemText(text);
}

std::string TZip::EncodeEntryText(const zip::CentralFileHeader& header, const std::string& text) const {
    return (header.Flags() & zip::kFlagUtf8) != 0 ? platform::AnsiToUtf8(text) : EncodeOemText(text);
}

void TZip::ReadDirectory() {
    ClearEntries();
    if (zipFileName_.empty()) return;

    auto file = OpenForReading(zipFileName_);
    int32_t position = -1;
    for (;;) {
        if (file->Size() > kLargestArchive) throw ZipException(FormatMsg(Msg::TooLarge, zipFileName_));
        position = zip::FindEndOfCentralDir(*file);
        if (position >= 0) break;
        file.reset();
        // Without an end record the file may still be an earlier disk of a multi-disk set.
        const int32_t disk = GetDiskNumberFromLabel(zipFileName_);
        if (disk == 0) throw ZipException(FormatMsg(Msg::NotValidZip, zipFileName_));
        const int answer = platform::CurrentUser().MessageBox(FormatMsg(Msg::InsertLastDisk, disk),
                                                              zip::kApplicationTitle,
                                                              platform::kMbOkCancel | platform::kMbIconInformation);
        if (answer != platform::kIdOk) return;
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
        TZip& zip;
        const std::string& raw;
        ~CommentDecoder() { zip.endOfCentral_.Comment = zip.DecodeOemText(raw); }
    } decodeCommentOnExit{*this, rawComment};

    CheckArchiveLimits(*file);
    if (record.TotalEntries() == 0) return;

    if (record.CentralDirDisk() != record.ThisDisk()) {
        file.reset();
        if (!PromptForDisk(zipFileName_, record.CentralDirDisk() + 1)) return;
        file = OpenForReading(zipFileName_);
    }
    if (!ReadCentralHeaders(file)) {
        ClearEntries();
        throw ZipException(FormatMsg(Msg::ErrorReadingCentral));
    }
}

// Refuses what 32-bit fields cannot describe, instead of misreading it: ZIP64 archives whose real
// values do not fit the ordinary end record, and directories that lie outside the file.
void TZip::CheckArchiveLimits(platform::Stream& file) {
    const EndOfCentralHeader& record = endOfCentral_.EndRecord;
    const int32_t zip64Size = zip::Zip64RecordsInFront(file, endOfCentral_.Position, record);
    if (zip64Size < 0) throw ZipException(FormatMsg(Msg::NeedsZip64, zipFileName_));
    zip64RecordsSize_ = zip64Size;

    // A multi-disk directory may start on another disk, so only a single-disk one can be checked here.
    const bool singleDisk = record.ThisDisk() == 0;
    if (singleDisk && record.TotalEntries() != 0 && static_cast<int64_t>(record.CentralDirSize()) > DirectoryEnd())
        throw ZipException(FormatMsg(Msg::ErrorReadingCentral));
}

bool TZip::ReadCentralHeaders(std::unique_ptr<platform::FileStream>& file) {
    const EndOfCentralHeader& record = endOfCentral_.EndRecord;
    const bool multiDisk = record.ThisDisk() != 0;
    const int64_t directoryEnd = DirectoryEnd();
    const int64_t directoryStart = multiDisk ? record.CentralDirOffset() : directoryEnd - record.CentralDirSize();
    if (file->Seek(directoryStart, Origin::Begin) < 0) return false;

    const int64_t fileSize = file->Size();
    int64_t lowestOffset = fileSize;
    BufferedReader reader(*file);
    // A single-disk directory is read within its own bounds, never into the end record behind it.
    if (!multiDisk) reader.Limit(record.CentralDirSize());
    entries_.reserve(record.TotalEntries());
    for (int32_t i = 0; i < record.TotalEntries(); ++i) {
        TFileInfo entry;
        CentralFileHeader& header = entry.Header;
        while (reader.Read(header.data(), header.size()) != header.size()) {
            if (!multiDisk) return false;
            // The directory goes on on the next disk; a header is never split between disks.
            const int32_t disk = GetDiskNumberFromLabel(zipFileName_);
            if (disk == 0 || disk > record.ThisDisk()) return false;
            file.reset();
            if (!PromptForDisk(zipFileName_, disk + 1)) return false;
            file = OpenForReading(zipFileName_);
            reader.Reset(*file);
        }
        if (header.Signature() != zip::kCentralHeaderSignature) return false;
        if (i == 0) oemNames_ = DecidesOemNames(header);

        std::string name;
        std::string comment;
        if (!reader.ReadString(name, header.FileNameLength()) ||
            !reader.ReadString(entry.ExtraField, header.ExtraFieldLength()) ||
            !reader.ReadString(comment, header.FileCommentLength()))
            return false;
        entry.FileName = SlashesToBackslashes(DecodeEntryText(header, name));
        entry.FileComment = DecodeEntryText(header, comment);
        entry.Encrypted = (header.Flags() & zip::kFlagEncrypted) != 0;

        const int64_t offset = static_cast<int32_t>(header.LocalHeaderOffset());
        if (offset < lowestOffset) lowestOffset = offset;
        entries_.push_back(std::move(entry));
    }

    sfxOffset_ = 0;
    if (!multiDisk && lowestOffset < fileSize) {
        const int64_t shift = directoryEnd - record.CentralDirSize() - record.CentralDirOffset();
        const int64_t firstLocalHeader = lowestOffset + shift;
        // A stub size that comes out negative or past the end is not a stub.
        if (firstLocalHeader >= 0 && firstLocalHeader <= fileSize) sfxOffset_ = static_cast<int32_t>(firstLocalHeader);
    }
    return true;
}
