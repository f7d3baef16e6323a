// Joining a stub and an archive into a self-extracting program, and stripping the stub again.
#include "sfx/SfxUtils.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/Archive.h"
#include "platform/Files.h"
#include "platform/User.h"
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

// Removes a conversion's target unless the conversion completed, so that no half-written file is
// left to look like a finished one and block the next attempt. Declare it before the target's
// stream, so that the stream is closed first, and arm it only once the target was created: a file
// that could not be opened is not ours to delete.
class PartialTarget {
public:
    PartialTarget() = default;
    ~PartialTarget() {
        if (!path_.empty() && !kept_) platform::DeleteFile(path_);
    }
    void Arm(const std::string& path) { path_ = path; }
    PartialTarget(const PartialTarget&) = delete;
    PartialTarget& operator=(const PartialTarget&) = delete;
    bool Keep() {
        kept_ = true;
        return true;
    }

private:
    std::string path_;
    bool kept_ = false;
};

bool AppendWholeFile(const std::string& name, FileStream& output) {
    FileStream input(name, platform::Access::Read, platform::Share::DenyWrite);
    const int64_t size = input.Size();
    return zip::CopyBytes(input, output, size).Whole(size);
}

// Lowers every stored offset by `shift`, for archives whose offsets counted the stub in front;
// `end` as found in the program, whose first `shift` bytes the copy in `output` lacks. A saturated
// field stays saturated: its value is lowered where the ZIP64 records hold it.
bool LowerStoredOffsets(platform::Stream& output, const zip::EndOfArchive& end, int64_t shift) {
    EndOfCentralHeader record = end.record;
    if (record.CentralDirOffset() != zip::kZip64Marker32) {
        if (record.CentralDirOffset() < shift) return false;
        record.SetU32(EndOfCentralHeader::kCentralDirOffset, static_cast<uint32_t>(record.CentralDirOffset() - shift));
    }
    if (output.Seek(end.position - shift, Origin::Begin) < 0 || !zip::WriteRecord(output, record)) return false;

    zip::StreamSource source(output);
    zip::DirectoryIterator directory(source, end.DirectoryStart() - shift, zip::ByteCursor::kNoEnd, end.entries);
    std::string extra;
    while (directory.Next()) {
        CentralFileHeader header = directory.Header();
        zip::Zip64Values values;
        extra.assign(directory.ExtraField());
        if (!zip::ResolveZip64(header, extra, values) || values.localHeaderOffset < static_cast<uint64_t>(shift) ||
            !zip::SetLocalHeaderOffset(header, extra, values.localHeaderOffset - shift))
            return false;
        const std::string_view name = directory.Name();
        if (output.Seek(directory.HeaderPosition(), Origin::Begin) < 0 || !zip::WriteRecord(output, header) ||
            output.Write(name.data(), static_cast<int32_t>(name.size())) != static_cast<int32_t>(name.size()) ||
            output.Write(extra.data(), static_cast<int32_t>(extra.size())) != static_cast<int32_t>(extra.size()))
            return false;
    }
    return !directory.Failed();
}

// ZIP64 records that repeat the end record carry the directory offset and their own position too.
// The locator is made to name where its record now lies, whichever frame its offset counted in:
// left as it stood, an offset that counted the stub would name bytes in front of the record.
bool MoveZip64Records(platform::Stream& output, int64_t end64Position, int64_t locatorPosition, int64_t shift) {
    zip::Zip64EndRecord end64;
    zip::Zip64Locator locator;
    if (output.Seek(end64Position, Origin::Begin) < 0 || !zip::ReadRecord(output, end64) ||
        output.Seek(locatorPosition, Origin::Begin) < 0 || !zip::ReadRecord(output, locator))
        return false;
    const uint64_t directoryOffset = end64.CentralDirOffset();
    if (directoryOffset < static_cast<uint64_t>(shift)) return false;
    end64.SetU64(zip::Zip64EndRecord::kCentralDirOffset, directoryOffset - shift);
    locator.SetU64(zip::Zip64Locator::kEndRecordOffset, static_cast<uint64_t>(end64Position));
    return output.Seek(end64Position, Origin::Begin) >= 0 && zip::WriteRecord(output, end64) &&
           output.Seek(locatorPosition, Origin::Begin) >= 0 && zip::WriteRecord(output, locator);
}

}  // namespace

bool BuildSfx(const std::vector<std::string>& files, const std::string& outName) {
    if (files.size() < 2 || outName.empty()) return false;
    PartialTarget target;
    FileStream output(outName, platform::Access::Create, platform::Share::Exclusive);
    target.Arm(outName);
    for (const std::string& name : files)
        if (!AppendWholeFile(name, output)) return false;
    return target.Keep();
}

bool StripSfxStub(const std::string& sfxName, const std::string& zipName) {
    if (!platform::FileExists(sfxName) || zipName.empty()) return false;
    platform::BusyCursor busy;

    FileStream input(sfxName, platform::Access::Read, platform::Share::DenyWrite);
    PartialTarget target;
    FileStream output(zipName, platform::Access::Create, platform::Share::Exclusive);
    target.Arm(zipName);
    return StripSfxStub(input, output, sfxName) && target.Keep();
}

bool StripSfxStub(platform::Stream& input, platform::Stream& output, const std::string& sfxName) {
    zip::StreamSource source(input);
    const zip::EndOfArchive end = zip::FindEndOfArchive(source);
    if (!end.Found()) throw ZipException(FormatMsg(Msg::NotValidSfx, sfxName));
    if (end.record.ThisDisk() != 0) return false;

    if (end.zip64 == zip::Zip64State::Damaged) throw ZipException(FormatMsg(Msg::Zip64Damaged, sfxName));
    if (end.zip64 == zip::Zip64State::Contradicts) throw ZipException(FormatMsg(Msg::Zip64Contradicts, sfxName));
    const int64_t zip64Size = end.Zip64RecordsSize();
    const int64_t directoryStart = end.DirectoryStart();
    zip::DirectoryIterator directory(source, directoryStart, zip::ByteCursor::kNoEnd, 1);
    if (directoryStart < 0 || !directory.Next()) throw ZipException(FormatMsg(Msg::ErrorReadingSfx));
    zip::Zip64Values first;
    if (!zip::ResolveZip64(directory.Header(), directory.ExtraField(), first))
        throw ZipException(FormatMsg(Msg::ErrorReadingSfx));

    // Where the ZIP data starts, whether the stored offsets count the stub or not. A start at or
    // behind the directory (offsets that disagree with where the directory lies) would cut the
    // directory's front off: no archive starts there.
    if (first.localHeaderOffset >= static_cast<uint64_t>(end.directoryOffset)) return false;
    const int64_t firstOffset = static_cast<int64_t>(first.localHeaderOffset);
    const int64_t inputSize = input.Size();
    const int64_t zipStart = directoryStart - end.directoryOffset + firstOffset;
    if (zipStart < 1 || zipStart >= directoryStart) return false;
    // Lowering every offset by zipStart is right only when they count the whole program. Offsets
    // that count from neither start (the directory not where its offset says, the first entry not
    // at 0) give no one amount to lower them by: lowered by zipStart, the end record would point
    // beside the directory and the walk would rewrite bytes that are no header.
    if (firstOffset != 0 && end.Shift() != 0) return false;

    if (input.Seek(zipStart, Origin::Begin) < 0 || !zip::CopyBytes(input, output, inputSize - zipStart).Whole(inputSize - zipStart))
        return false;
    const int64_t shift = firstOffset != 0 ? zipStart : 0;
    if (shift != 0 && !LowerStoredOffsets(output, end, shift)) return false;
    return zip64Size == 0 || MoveZip64Records(output, end.zip64Position - zipStart,
                                              end.position - zip::Zip64Locator::size() - zipStart, shift);
}
