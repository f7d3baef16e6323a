// The record walks of the conversions, fuzzed in memory: stripping a stub and ending a merge.
#include "tests/fuzz/FuzzTargets.h"

#include <vector>

#include "archive/Archive.h"
#include "sfx/SfxUtils.h"
#include "tests/support/ArchiveBuilder.h"
#include "volumes/Volumes.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"

namespace {

struct Listing {
    bool found = false;
    bool whole = false;  // every entry the end record counts, and no damaged header
    int32_t entries = 0;
    // Each entry's 30 bytes where its offset points, or empty where they do not lie wholly in front
    // of the directory: bytes inside it are directory records, whatever signature they spell.
    std::vector<std::string> localHeaders;
};

std::string LocalHeaderAt(const std::string& bytes, int64_t position, int64_t directoryStart) {
    if (position < 0 || position + zip::LocalHeader::size() > directoryStart) return "";
    return bytes.substr(static_cast<size_t>(position), zip::LocalHeader::size());
}

// The directory as the archive object walks it.
Listing List(const std::string& bytes) {
    zip::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const zip::EndOfArchive end = zip::FindEndOfArchive(source);
    Listing listing;
    if (!end.Usable() || end.DirectoryStart() < 0) return listing;
    listing.found = true;
    zip::DirectoryIterator directory(source, end);
    while (directory.Next()) {
        // An offset the ZIP64 block does not hold fails the archive object's reading too.
        zip::Zip64Values values;
        if (!zip::ResolveZip64(directory.Header(), directory.ExtraField(), values)) return listing;
        ++listing.entries;
        const uint64_t offset = values.localHeaderOffset;
        listing.localHeaders.push_back(LocalHeaderAt(
            bytes, offset < bytes.size() ? static_cast<int64_t>(offset) + end.Shift() : -1, end.DirectoryStart()));
    }
    listing.whole = !directory.Failed() && static_cast<uint64_t>(listing.entries) == end.entries;
    return listing;
}

}  // namespace

// A program whose archive lists whole gives an archive that lists the same, stub or no stub, with
// each entry's local header where its offset points.
std::string RunStripInput(const uint8_t* data, size_t size) {
    const std::string program(reinterpret_cast<const char*>(data), size);
    larktest::MemoryStream input(program);
    larktest::MemoryStream output("");
    try {
        if (!StripSfxStub(input, output, "fuzz.exe")) return "not stripped";
    } catch (const ZipException& refusal) {
        return refusal.what();
    }
    if (output.Size() >= input.Size()) Broken("the stripped archive is smaller than the program");
    const Listing before = List(program);
    const Listing after = List(output.Bytes());
    if (before.whole && (!after.whole || after.entries != before.entries)) Broken("a stripped archive lists as its program did");
    // An offset that points at no local header (into the directory, say) names no data to keep.
    if (before.whole) {
        for (size_t i = 0; i < before.localHeaders.size(); ++i) {
            const bool real = before.localHeaders[i].compare(0, 4, "PK\3\4") == 0;
            if (real && (i >= after.localHeaders.size() || after.localHeaders[i] != before.localHeaders[i]))
                Broken("a stripped archive keeps every entry's data");
        }
    }
    return "stripped, " + std::to_string(after.entries) + " entries";
}

// The joined parts of a set of as many disks as the end record counts, cut evenly; once the
// rewrite accepts them, the directory lists whole on disk 0 with every record inside the file.
std::string RunMergeInput(const uint8_t* data, size_t size) {
    zip::MemorySource source(data, size);
    const zip::EndOfArchive end = zip::FindEndOfArchive(source);
    if (!end.Found()) return "no end record";
    // The reader refuses a set whose ZIP64 records do not check out before merging starts.
    if (!end.Usable()) return "ZIP64 records unusable";
    const int64_t disks = std::min<int64_t>(end.record.ThisDisk(), 16) + 1;
    std::vector<int64_t> diskOffsets{-static_cast<int64_t>(zip::MultiDiskMarker::size())};
    for (int64_t disk = 1; disk <= disks; ++disk) diskOffsets.push_back(static_cast<int64_t>(size) * disk / disks);
    larktest::MemoryStream target(std::string(reinterpret_cast<const char*>(data), size));
    try {
        volumes::RewriteMergedDirectory(target, end, diskOffsets, "fuzz.zip");
    } catch (const ZipException& refusal) {
        return refusal.what();
    }
    const std::string& merged = target.Bytes();
    zip::MemorySource mergedSource(reinterpret_cast<const uint8_t*>(merged.data()), merged.size());
    const zip::EndOfArchive mergedEnd = zip::FindEndOfArchive(mergedSource);
    if (!mergedEnd.Usable() || mergedEnd.record.ThisDisk() != 0 || mergedEnd.Shift() != 0)
        Broken("a merged archive has its end record on disk 0, its directory where the records say");
    zip::DirectoryIterator directory(mergedSource, mergedEnd);
    uint64_t entries = 0;
    while (directory.Next()) {
        zip::Zip64Values values;
        if (!zip::ResolveZip64(directory.Header(), directory.ExtraField(), values) || values.diskStart != 0 ||
            values.localHeaderOffset >= static_cast<uint64_t>(mergedEnd.DirectoryStart()))
            Broken("a merged entry lies on disk 0 in front of the directory");
        ++entries;
    }
    if (directory.Failed() || entries != mergedEnd.entries) Broken("a merged directory lists whole");
    return "merged, " + std::to_string(entries) + " entries";
}
