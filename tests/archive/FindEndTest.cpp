// Finding the end-of-central-directory record from the end of a stream.
#include <gtest/gtest.h>

#include "zipformat/EndRecord.h"
#include "tests/support/ArchiveBuilder.h"

using namespace zip;
using larktest::ArchiveBuilder;
using larktest::FromHex;
using larktest::MemoryStream;
using larktest::PutU16;

namespace {

const std::string kSignature = FromHex("50 4B 05 06");
// The largest window the finder searches: a whole record plus the longest comment.
constexpr size_t kWindow = 65535 + 22;

// An end record at `position` in `bytes` whose comment length says `commentLength`.
void PlantRecord(std::string& bytes, size_t position, uint16_t commentLength) {
    bytes.replace(position, 4, kSignature);
    PutU16(bytes, position + EndOfCentralHeader::kCommentLength, commentLength);
}

std::string Filler(size_t size) { return std::string(size, '\x11'); }

int32_t Find(const std::string& bytes) {
    MemoryStream stream(bytes);
    return FindEndOfCentralDir(stream);
}

}  // namespace

struct FindCase {
    const char* name;
    std::string bytes;
    int32_t expected;
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

namespace {

std::string WithRecordAt(size_t size, size_t position, uint16_t commentLength) {
    std::string bytes = Filler(size);
    PlantRecord(bytes, position, commentLength);
    return bytes;
}

std::vector<FindCase> Cases() {
    std::vector<FindCase> cases;
    const std::string minimal = ArchiveBuilder().Bytes();
    cases.push_back({"MinimalArchive", minimal, 0});
    cases.push_back({"Empty", "", -1});
    cases.push_back({"OneByteShort", minimal.substr(0, 21), -1});
    cases.push_back({"TenByteComment", ArchiveBuilder().Add("a.txt", "abc").Comment("0123456789").Bytes(),
                     -1 /* set below */});
    cases.back().expected = static_cast<int32_t>(cases.back().bytes.size()) - 32;
    cases.push_back({"LongestComment", ArchiveBuilder().Comment(std::string(65535, 'c')).Bytes(), 0});
    {
        // The longest comment behind an archive with entries: the record is at the window's first byte.
        const auto built = ArchiveBuilder().Add("a.txt", "abc").Comment(std::string(65535, 'c')).Build();
        cases.push_back({"LongestCommentAfterEntries", built.bytes, static_cast<int32_t>(built.layout.endRecord)});
    }
    // A record at the first byte of the window is found; one byte earlier it is outside.
    cases.push_back({"RecordAtWindowStart", WithRecordAt(100000, 100000 - kWindow, 65535),
                     static_cast<int32_t>(100000 - kWindow)});
    cases.push_back({"RecordBeforeWindow", WithRecordAt(100000, 100000 - kWindow - 1, 65535), -1});
    cases.push_back({"SignatureOnlyFarBeforeEnd", WithRecordAt(200000, 1000, 0), -1});
    // No room for a whole record after these.
    {
        // The real record does not fit the end either, so only the window limit keeps the late one out.
        std::string bytes = minimal + Filler(30);
        bytes.replace(bytes.size() - 21, 4, kSignature);
        cases.push_back({"SignatureIn21LastBytesIgnored", bytes, 0});
    }
    {
        std::string bytes = Filler(100);
        bytes.replace(bytes.size() - 4, 4, kSignature);
        cases.push_back({"OnlySignatureInLast4Bytes", bytes, -1});
    }
    cases.push_back({"ShortFileStartingWithSignature", kSignature + Filler(17), -1});
    {
        // A valid archive whose comment holds a signature with room for a record after it.
        const std::string comment = "note PK\x05\x06 " + Filler(40);
        const auto built = ArchiveBuilder().Add("a.txt", "abc").Comment(comment).Build();
        cases.push_back({"SignatureInsideComment", built.bytes, static_cast<int32_t>(built.layout.endRecord)});
    }
    {
        // Neither record's comment reaches exactly the end: the later one is taken.
        std::string bytes = Filler(300);
        PlantRecord(bytes, 100, 7);
        PlantRecord(bytes, 200, 9);
        cases.push_back({"TwoUnfittingSignaturesLaterWins", bytes, 200});
    }
    {
        // The earlier record fits the end of the file, the later one (in its comment) does not.
        std::string bytes = Filler(300);
        PlantRecord(bytes, 100, 300 - 122);
        PlantRecord(bytes, 200, 3);
        cases.push_back({"FittingEarlierBeatsUnfittingLater", bytes, 100});
    }
    {
        // Both fit: the one nearer the end wins.
        std::string bytes = Filler(300);
        PlantRecord(bytes, 100, 300 - 122);
        PlantRecord(bytes, 200, 300 - 222);
        cases.push_back({"TwoFittingLaterWins", bytes, 200});
    }
    return cases;
}

}  // namespace

class FindEnd : public testing::TestWithParam<FindCase> {};

TEST_P(FindEnd, Position) { EXPECT_EQ(Find(GetParam().bytes), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, FindEnd, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<FindCase>& info) { return info.param.name; });

// Callers read the record right after the call, without seeking.
TEST(FindEndPosition, StreamIsLeftAtTheRecord) {
    for (const std::string& comment : {std::string(), std::string("a comment"), std::string(65535, 'z')}) {
        const auto built = ArchiveBuilder().Add("x.bin", std::string(300, 'x')).Comment(comment).Build();
        MemoryStream stream(built.bytes);
        stream.Seek(5, platform::Origin::Begin);
        const int32_t position = FindEndOfCentralDir(stream);
        ASSERT_EQ(position, static_cast<int32_t>(built.layout.endRecord)) << comment.size();
        EXPECT_EQ(stream.Position(), position);
        EndOfCentralHeader record;
        ASSERT_TRUE(ReadRecord(stream, record));
        EXPECT_EQ(record.Signature(), kEndOfCentralSignature);
        EXPECT_EQ(record.CommentLength(), comment.size());
    }
}

// The shift between stored and actual offsets is what lies in front of the archive.
TEST(FindEndPosition, StubInFrontGivesShiftOfTheStubSize) {
    const auto built = ArchiveBuilder().Add("a", "1").Add("b", "22").Stub(larktest::StubBytes(40000), false).Build();
    MemoryStream stream(built.bytes);
    const int32_t position = FindEndOfCentralDir(stream);
    EndOfCentralHeader record;
    ASSERT_TRUE(ReadRecord(stream, record));
    EXPECT_EQ(position - static_cast<int64_t>(record.CentralDirSize()) - record.CentralDirOffset(), 40000);
}
