// The engines' reading of entry data, fuzzed in memory: no file is written.
#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/MemoryExtraction.h"

#include <algorithm>
#include <vector>

#include "engines/common/EntryData.h"
#include "zipformat/ZipRecords.h"
#include "tests/support/ArchiveBuilder.h"

namespace {

using engines::DataResult;
using engines::Entry;
using engines::TrialResult;

struct Decoded {
    DataResult result = DataResult::Good;
    std::string plain;
};

// A sink that takes no byte past the entry's declared size: the decoder must stop before.
engines::PlainSink BoundedSink(const Entry& entry, std::string& plain) {
    return [&entry, &plain](const uint8_t* bytes, size_t count) {
        if (plain.size() + count > entry.Size()) Broken("no byte past the declared size reaches the sink");
        plain.append(reinterpret_cast<const char*>(bytes), count);
        return DataResult::Good;
    };
}

Decoded DecodeWhole(platform::Stream& archive, const Entry& entry, const std::string& password) {
    Decoded decoded;
    engines::EntryDecoder decoder(entry, password);
    std::vector<uint8_t> input;
    decoded.result = decoder.DecodeFrom(archive, entry.dataStart, input, BoundedSink(entry, decoded.plain));
    return decoded;
}

// The same data fed in pieces of a few bytes, as a worker reading ahead may cut it.
Decoded DecodeInPieces(platform::Stream& archive, const Entry& entry, const std::string& password) {
    Decoded decoded;
    engines::EntryDecoder decoder(entry, password);
    const engines::PlainSink sink = BoundedSink(entry, decoded.plain);
    std::vector<uint8_t> stored;
    if (entry.CompressedSize() > 0) {
        if (entry.dataStart + entry.CompressedSize() > archive.Size()) return {DataResult::Damaged, {}};
        stored.resize(entry.CompressedSize());
        const int32_t got = archive.ReadAt(entry.dataStart, stored.data(), static_cast<int32_t>(stored.size()));
        if (got != static_cast<int32_t>(stored.size())) return {DataResult::Damaged, {}};
    }
    for (size_t at = 0, piece = 1; at < stored.size(); at += piece, piece = piece % 13 + 1) {
        piece = std::min(piece, stored.size() - at);
        decoded.result = decoder.Feed(stored.data() + at, piece, sink);
        if (decoded.result != DataResult::Good) return decoded;
    }
    decoded.result = decoder.Finish();
    return decoded;
}

// What the fuzz password makes of an entry; a plain one opens without.
TrialResult TryFuzzPassword(platform::Stream& archive, const Entry& entry) {
    if (!entry.IsEncrypted()) return TrialResult::Opens;
    engines::PasswordTrial trial;
    if (!engines::ReadPasswordTrial(archive, entry, entry.dataStart, trial)) return TrialResult::Wrong;
    return trial.Try(kFuzzPassword);
}

// Good means whole: the declared size and CRC (AE-2 stores none: its authentication code stands
// in), and the same bytes however the data was fed. A piecewise decode that reads less than the
// whole data may fail where the whole one did not.
void CheckDecodings(const Entry& entry, const Decoded& whole, const Decoded& pieces) {
    const bool crcStored = !entry.IsAes() || entry.AesBlock().VendorVersion() == zip::AesExtraBlock::kAe1;
    if (whole.result == DataResult::Good &&
        (whole.plain.size() != entry.Size() || (crcStored && larktest::Crc32(whole.plain) != entry.Crc())))
        Broken("good data has the declared size and CRC");
    if ((whole.result == DataResult::Good) != (pieces.result == DataResult::Good)) Broken("data fed in pieces decodes as data fed whole");
    if (whole.result == DataResult::Good && whole.plain != pieces.plain) Broken("data fed in pieces gives the same bytes");
}

// The trial and the decoder authenticate the same AES bytes, each its own way: data the trial found
// unauthentic never decodes as good, and data whose code it accepted is never called unauthentic.
void CheckAuthentication(TrialResult trial, const Decoded& whole) {
    if (trial == TrialResult::Unauthentic && whole.result == DataResult::Good) Broken("unauthentic AES data never decodes as good");
    if (trial == TrialResult::Opens && whole.result == DataResult::Unauthentic) Broken("AES data the trial authenticated decodes authentic");
}

// The length of an entry's record, data descriptor included, as the updating engine copies it.
// It may run past the end of a damaged archive: the copy then stops the update unchanged.
void CheckRawLength(platform::Stream& archive, const Entry& entry) {
    const int64_t length = engines::RawLength(archive, entry);
    if (length != -1 && length < static_cast<int64_t>(zip::LocalHeader::size())) Broken("an entry's record is at least a local header long");
}

}  // namespace

std::string ExtractIntoMemory(platform::Stream& archive, const engines::Directory& directory) {
    int good = 0;
    int not_good = 0;
    for (const Entry& entry : directory.entries) {
        CheckRawLength(archive, entry);
        if (entry.IsFolder() || !entry.MethodSupported() || entry.dataStart < 0) continue;
        const std::string password = entry.IsEncrypted() ? kFuzzPassword : "";
        // AES data the trial found unauthentic is decoded all the same, to hold the decoder to it.
        const TrialResult trial = TryFuzzPassword(archive, entry);
        if (trial == TrialResult::Wrong) {
            ++not_good;
            continue;
        }
        const Decoded whole = DecodeWhole(archive, entry, password);
        CheckDecodings(entry, whole, DecodeInPieces(archive, entry, password));
        CheckAuthentication(trial, whole);
        ++(whole.result == DataResult::Good ? good : not_good);
    }
    return std::to_string(good) + " decoded, " + std::to_string(not_good) + " not";
}

// The extractor walks the directory an entry at a time instead of reading it whole: the two must
// agree on the entries and on whether their data overlaps.
void CheckWalk(platform::Stream& archive, const engines::Directory& directory, bool overlapping) {
    engines::DirectoryWalk walk(archive, false);
    std::string error;
    if (!walk.Open(error)) Broken("the walk opens what the whole read opened");
    engines::OverlapWatch watch;
    engines::TextArena texts;
    Entry entry;
    size_t count = 0;
    while (walk.Next(entry, texts)) {
        if (count >= directory.entries.size() || entry.localOffset != directory.entries[count].localOffset ||
            entry.Name() != directory.entries[count].Name())
            Broken("the walk gives the entries the whole read gave");
        entry.dataStart = engines::DataStart(archive, entry);
        watch.Add(entry);
        ++count;
    }
    if (walk.Failed() || count != directory.entries.size()) Broken("the walk gives the entries the whole read gave");
    const bool walked = watch.InOrder() ? watch.Overlapping() : engines::EntriesOverlap(walk, archive);
    if (walked != overlapping) Broken("the walk finds data shared where the whole read finds it");
}

std::string RunExtractInput(const uint8_t* data, size_t size) {
    larktest::MemoryStream archive(std::string(reinterpret_cast<const char*>(data), size));
    engines::Directory directory;
    std::string error;
    if (!engines::ReadDirectory(archive, directory, error)) return error;
    engines::LocateData(archive, directory);
    const bool overlapping = engines::EntriesOverlap(directory);
    CheckWalk(archive, directory, overlapping);
    // Extractors refuse such an archive whole.
    if (overlapping) return "overlapping entries";
    return ExtractIntoMemory(archive, directory);
}
