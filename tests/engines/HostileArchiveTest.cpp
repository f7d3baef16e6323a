// The engines' own code in this process, so a simulated full or read-only disk reaches them: files
// that land on one name, lying sizes, overlapping entries, a streamed ZIP64-local archive, full
// and read-only disks. Each case states what is counted, which reasons are reported, what is on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engines/common/Codec.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "tests/engines/EngineHarness.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

extern "C" {
ENGINE_EXPORT int32_t ENGINE_API UnzDllExec(void* command);
ENGINE_EXPORT int32_t ENGINE_API ZipDllExec(void* command);
}

namespace {

using larktest::ArchiveBuilder;
using larktest::EntrySpec;
using larktest::PutU16;
using larktest::PutU32;
using larktest::RecordingCallback;

// Central and local header fields patched below.
constexpr size_t kLocalMethod = 8, kLocalCompressed = 18, kLocalSize = 22;
constexpr size_t kCentralMethod = 10, kCentralSize = 24, kCentralLocalOffset = 42;
constexpr uint32_t kNotWritten = 6, kDamaged = 7, kUnreadable = 5;

std::string Noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// An entry that declares 10 bytes and inflates to 8 MiB, then one that is what it says.
std::string LyingSize() {
    std::vector<uint8_t> packed;
    const std::string zeros(8 << 20, '\0');
    engines::Deflater(9).Compress(reinterpret_cast<const uint8_t*>(zeros.data()), zeros.size(), true, packed);
    larktest::BuiltArchive built =
        ArchiveBuilder().Add("bomb.bin", std::string(packed.begin(), packed.end())).Add("next.txt", "after").Build();
    std::string& bytes = built.bytes;
    PutU16(bytes, built.layout.localHeaders[0] + kLocalMethod, 8);
    PutU32(bytes, built.layout.localHeaders[0] + kLocalSize, 10);
    PutU16(bytes, built.layout.centralHeaders[0] + kCentralMethod, 8);
    PutU32(bytes, built.layout.centralHeaders[0] + kCentralSize, 10);
    return bytes;
}

// Three directory entries whose data is the one local record of the first.
std::string Overlapping() {
    const std::string data(1000, 'x');
    larktest::BuiltArchive built = ArchiveBuilder().Add("a.txt", data).Add("b.txt", data).Add("c.txt", data).Build();
    for (size_t i : {1, 2}) {
        PutU32(built.bytes, built.layout.centralHeaders[i] + kCentralLocalOffset,
               static_cast<uint32_t>(built.layout.localHeaders[0]));
    }
    return built.bytes;
}

// Data that lies out of the directory's order: `overlapping` points the last entry at the middle
// one's data too.
std::string OutOfOrder(bool overlapping) {
    const std::string data(1000, 'x');
    larktest::BuiltArchive built = ArchiveBuilder().Add("a.txt", data).Add("b.txt", data).Add("c.txt", data).Build();
    const size_t last = overlapping ? 1 : 0;
    PutU32(built.bytes, built.layout.centralHeaders[0] + kCentralLocalOffset, static_cast<uint32_t>(built.layout.localHeaders[2]));
    PutU32(built.bytes, built.layout.centralHeaders[2] + kCentralLocalOffset, static_cast<uint32_t>(built.layout.localHeaders[last]));
    return built.bytes;
}

// An empty file and a folder whose directory entries name one local header, as some writers
// leave them: with no data of their own they share nothing.
std::string EmptyEntriesSharingAHeader() {
    larktest::BuiltArchive built = ArchiveBuilder().Add("empty.txt", "").Add("d/", "").Add("x.txt", "data").Build();
    PutU32(built.bytes, built.layout.centralHeaders[1] + kCentralLocalOffset,
           static_cast<uint32_t>(built.layout.localHeaders[0]));
    return built.bytes;
}

// As Info-ZIP writes an entry read from a pipe: the local header's sizes are ZIP64 placeholders,
// the ZIP64 extra field and end records are there, the directory holds the real 32-bit sizes.
std::string StreamedZip64Local() {
    EntrySpec entry;
    entry.name = "-";
    entry.data = "from a pipe\n";
    entry.versionNeeded = 45;
    entry.extra = larktest::FromHex("01 00 10 00") + std::string(16, '\0');
    PutU32(entry.extra, 4, static_cast<uint32_t>(entry.data.size()));
    PutU32(entry.extra, 12, static_cast<uint32_t>(entry.data.size()));
    larktest::BuiltArchive built = ArchiveBuilder().Add(entry).Zip64Records().Build();
    PutU32(built.bytes, built.layout.localHeaders[0] + kLocalCompressed, 0xFFFFFFFF);
    PutU32(built.bytes, built.layout.localHeaders[0] + kLocalSize, 0xFFFFFFFF);
    return built.bytes;
}

std::vector<std::string> Messages(const RecordingCallback& callback) {
    std::vector<std::string> texts;
    for (const larktest::Call& call : callback.Of(engine::kActionMessage)) texts.push_back(call.text);
    return texts;
}

bool AnyContains(const std::vector<std::string>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

class HostileArchives : public testing::Test {
protected:
    larktest::TestFolder folder;
};

TEST_F(HostileArchives, ExtractCountsOnlyWhatIsWrittenAndSaysWhyTheRestIsNot) {
    enum class Destination { Plain, FullDisk, ReadOnly };
    struct Case {
        const char* name;
        std::string archive;
        uint8_t options;  // ExtractOptions as the component passes them
        Destination destination;
        int32_t extracted;
        std::vector<uint32_t> reasons;
        std::map<std::string, std::string> onDisk;
        std::string why;  // in a message line before the first action 11
    };
    const std::string big1 = Noise(3000, 1), big2 = Noise(3000, 2);
    const Case cases[] = {
        {"one name twice", ArchiveBuilder().Add("dup.txt", "one").Add("dup.txt", "two").Bytes(), 17,
         Destination::Plain, 1, {kNotWritten}, {{"dup.txt", "one"}}, "an earlier entry"},
        {"one name twice, overwriting asked for", ArchiveBuilder().Add("dup.txt", "one").Add("dup.txt", "two").Bytes(),
         16, Destination::Plain, 2, {}, {{"dup.txt", "two"}}, ""},
        {"one name twice in a folder the run made", ArchiveBuilder().Add("d/dup.txt", "one").Add("d/dup.txt", "two").Bytes(),
         17, Destination::Plain, 1, {kNotWritten}, {{"d/dup.txt", "one"}}, "an earlier entry"},
        {"a file where the run made a folder", ArchiveBuilder().Add("a/b/c.txt", "c").Add("a/b", "b").Bytes(), 17,
         Destination::Plain, 1, {kNotWritten}, {{"a/b/c.txt", "c"}}, "a folder of that name exists"},
        {"names that differ in case", ArchiveBuilder().Add("Read.me", "first").Add("READ.ME", "second").Bytes(), 17,
         Destination::Plain, 1, {kNotWritten}, {{"Read.me", "first"}}, "an earlier entry"},
        {"a size that lies", LyingSize(), 17, Destination::Plain, 1, {kDamaged}, {{"next.txt", "after"}}, "longer"},
        {"overlapping entries", Overlapping(), 17, Destination::Plain, 0, {kUnreadable}, {}, "share their data"},
        {"overlapping entries out of the directory's order", OutOfOrder(true), 17, Destination::Plain, 0, {kUnreadable},
         {}, "share their data"},
        {"entries out of the directory's order", OutOfOrder(false), 17, Destination::Plain, 3, {},
         {{"a.txt", std::string(1000, 'x')}, {"b.txt", std::string(1000, 'x')}, {"c.txt", std::string(1000, 'x')}}, ""},
        {"empty entries sharing a local header", EmptyEntriesSharingAHeader(), 17, Destination::Plain, 2, {},
         {{"empty.txt", ""}, {"x.txt", "data"}}, ""},
        {"ZIP64 placeholders in the local header", StreamedZip64Local(), 17, Destination::Plain, 1, {},
         {{"-", "from a pipe\n"}}, ""},
        {"a full disk", ArchiveBuilder().Add("a.bin", big1).Add("b.bin", big2).Add("c.txt", "c").Bytes(), 17,
         Destination::FullDisk, 1, {kNotWritten, kNotWritten}, {{"a.bin", big1}}, "not enough space"},
        {"a read-only destination", ArchiveBuilder().Add("a.txt", "a").Add("b.txt", "b").Bytes(), 17,
         Destination::ReadOnly, 0, {kNotWritten, kNotWritten}, {}, platform::AccessDeniedReason()},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string sub = "out" + std::to_string(++n);
        const std::string archive = folder.Write(sub + ".zip", c.archive);
        std::string destination = folder.Path(sub) + "\\";
        platform::CreateDirectory(folder.Path(sub));
        if (c.destination != Destination::Plain) {
            platform::DiskPtr disk = folder.MapDisk('Q', platform::kDriveFixed, sub, "", 5000);
            disk->readOnly = c.destination == Destination::ReadOnly;
            destination = "Q:\\";
        }
        RecordingCallback callback;
        EXPECT_EQ(larktest::RunUnzip(&UnzDllExec, {archive, destination, {}, "", c.options}, callback), c.extracted);
        EXPECT_EQ(callback.Reasons(), c.reasons);
        EXPECT_TRUE(callback.Of(engine::kActionCrcError).empty()) << "no question for data that is not what it says";
        EXPECT_EQ(larktest::ReadTree(folder.Path(sub)), c.onDisk) << "no partial or temporary file left";
        if (!c.why.empty()) {
            EXPECT_TRUE(AnyContains(Messages(callback), c.why)) << c.why;
        }
        uint32_t progress = 0;
        for (const larktest::Call& call : callback.Of(engine::kActionProgress)) progress += call.number;
        EXPECT_LE(progress, 2 * 3000u + 16) << "a bomb is stopped one byte past its declared size";
    }
}

TEST_F(HostileArchives, AddOnAFullDiskLeavesTheArchiveAsItWas) {
    folder.MapDisk('Q', platform::kDriveFixed, "q", "", 3000);
    const std::string before = ArchiveBuilder().Add("old.txt", "old").Bytes();
    larktest::WriteFileBytes("Q:\\a.zip", before);
    folder.Write("big.bin", Noise(4000, 3));
    RecordingCallback callback;
    larktest::ZipJob job("Q:\\a.zip", {folder.Path("big.bin")});
    EXPECT_EQ(larktest::RunZip(&ZipDllExec, job, callback), 0);
    EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{kNotWritten});
    EXPECT_TRUE(AnyContains(Messages(callback), "not enough space"));
    EXPECT_EQ(larktest::ReadFileBytes("Q:\\a.zip"), before);
    EXPECT_EQ(larktest::ReadTree(folder.Path("q")).size(), 1u) << "no temporary archive left beside it";
}

}  // namespace
