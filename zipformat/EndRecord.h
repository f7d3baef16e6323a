// Finding an archive's end record, the one rule every reader of an archive uses.
#pragma once

#include <cstdint>

#include "zipformat/ByteSource.h"
#include "zipformat/ZipRecords.h"

namespace zip {

// What the ZIP64 records in front of the end record gave.
enum class Zip64State {
    None,         // not consulted: nothing saturated, and no sound ZIP64 record repeats the values
    Read,         // a sound ZIP64 end record: its values are used, the directory ends in front of it
    Damaged,      // the size or offset is saturated, but the locator or the ZIP64 end record does not check out
    Contradicts,  // the ZIP64 end record holds other values than the end record's unsaturated fields
    OtherDisk,    // a field is saturated, and the locator on a set's last disk names an earlier disk
};

// The end record of an archive as found, with the 64-bit values it stands for.
struct EndOfArchive {
    int64_t position = -1;  // of the end record; -1 when there is none
    EndOfCentralHeader record;
    Zip64State zip64 = Zip64State::None;
    int64_t zip64Position = -1;  // of the ZIP64 end record, when Read
    // The end record's values, or the ZIP64 record's where the end record's field is saturated.
    // The sizes and offsets are never past the end record when Usable().
    uint64_t entries = 0;
    uint64_t entriesOnDisk = 0;
    int64_t directorySize = 0;
    int64_t directoryOffset = 0;

    bool Found() const { return position >= 0; }
    bool Usable() const { return Found() && (zip64 == Zip64State::None || zip64 == Zip64State::Read); }
    // Whether a field of the end record is saturated.
    bool Saturated() const;
    // Whether a value was taken from the ZIP64 end record: the archive is past the 32-bit limits.
    bool NeedsZip64() const { return zip64 == Zip64State::Read && Saturated(); }
    // The single-disk directory lies in front of the ZIP64 records, or of the end record.
    int64_t DirectoryEnd() const { return zip64Position >= 0 ? zip64Position : position; }
    int64_t DirectoryStart() const { return DirectoryEnd() - directorySize; }
    // Bytes of ZIP64 records between the directory and the end record.
    int64_t Zip64RecordsSize() const { return position - DirectoryEnd(); }
    // Bytes in front of the ZIP data that the stored offsets do not count (a stub added later).
    int64_t Shift() const { return DirectoryStart() - directoryOffset; }
};

// Position of the end record, or -1: searched within the last 65535 + 22 bytes, the last signature
// whose comment ends exactly at the end of the file wins, else the last signature.
int64_t FindEndRecord(ByteSource& source);

// The end record with its bytes and its 64-bit values; not Found() when there is none or its bytes
// cannot be read.
EndOfArchive FindEndOfArchive(ByteSource& source);

// Fills the 64-bit values and the ZIP64 state of `end`, whose position and record are read. The
// ZIP64 records are consulted only when a field is saturated or when they repeat the end record;
// a locator that leads nowhere is ignored when nothing needs it, as other readers do.
void ResolveZip64(ByteSource& source, EndOfArchive& end);

// FindEndRecord on a stream, which is left at the record on success, so that the caller's next
// read of 22 bytes returns it.
int64_t FindEndOfCentralDir(platform::Stream& stream);

}  // namespace zip
