// Finding an archive's end record, the one rule every reader of an archive uses.
#pragma once

#include <cstdint>

#include "zipformat/ByteSource.h"
#include "zipformat/ZipRecords.h"

namespace zip {

// Positions are signed 32-bit: files of 2 GiB or more are outside what the records describe.
constexpr int64_t kLargestArchive = INT32_MAX;

// The end record of an archive as found, with the ZIP64 records that may stand in front of it.
struct EndOfArchive {
    int32_t position = -1;  // of the end record; -1 when there is none
    EndOfCentralHeader record;
    // Bytes of ZIP64 records that only repeat the end record's values; -1 when the archive needs
    // ZIP64 to be read (a value does not fit the end record).
    int32_t zip64Size = 0;

    bool Found() const { return position >= 0; }
    bool NeedsZip64() const { return zip64Size < 0; }
    // The single-disk directory lies in front of the ZIP64 records, or of the end record.
    int64_t DirectoryEnd() const { return static_cast<int64_t>(position) - (zip64Size > 0 ? zip64Size : 0); }
    int64_t DirectoryStart() const { return DirectoryEnd() - record.CentralDirSize(); }
    // Bytes in front of the ZIP data that the stored offsets do not count (a stub added later).
    int64_t Shift() const { return DirectoryStart() - record.CentralDirOffset(); }
};

// Position of the end record, or -1: searched within the last 65535 + 22 bytes, the last signature
// whose comment ends exactly at the end of the file wins, else the last signature. Files of
// kLargestArchive bytes or more give -1.
int32_t FindEndRecord(ByteSource& source);

// The end record with its bytes and its ZIP64 records; not Found() when there is none or its
// bytes cannot be read.
EndOfArchive FindEndOfArchive(ByteSource& source);

// Bytes of ZIP64 records standing directly in front of the end record at `endPosition`: 0 when
// there are none, their size when they only repeat the end record's values (writers add them once
// a count reaches 65535), -1 when the archive needs them and cannot be read through 32 bits.
int32_t Zip64RecordsInFront(ByteSource& source, int64_t endPosition, const EndOfCentralHeader& record);

// FindEndRecord on a stream, which is left at the record on success, so that the caller's next
// read of 22 bytes returns it.
int32_t FindEndOfCentralDir(platform::Stream& stream);

}  // namespace zip
