// The engines' shared helpers: Windows wildcards, the safety test of names, DOS times, the cipher.
#include <gtest/gtest.h>

#include <cstring>

#include "engines/common/Codec.h"
#include "engines/common/Engine.h"
#include "engines/common/KeySet.h"
#include "engines/common/Text.h"

namespace {

TEST(EngineText, WildcardsFollowWindowsRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.*", "README", true},
        {"*.*", "a.txt", true},
        {"*.*", "sub/deeper/x", true},
        {"*.txt", "A.TXT", true},
        {"*.txt", "sub/a.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"sub\\*", "SUB/x.bin", true},
        {"sub/*.bin", "sub\\b.bin", true},
        {"a*.*", "abc", true},
        {"a*.*", "b.c", false},
        {"*", "", true},
        {"", "a", false},
        {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaa", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(engines::MatchesWildcardUtf8(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
    }
    EXPECT_TRUE(engines::SameNameUtf8("Sub\\A.txt", "sub/a.TXT"));
    EXPECT_FALSE(engines::SameNameUtf8("a.txt", "a.txt2"));
}

// UTF-8 names: '?' is one character however many bytes it takes, and case folds beyond ASCII.
TEST(EngineText, Utf8WildcardsCountCharacters) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"?.txt", u8"中.txt", true},
        {"??.txt", u8"中.txt", false},
        {"?", u8"😀", true},
        {u8"ö*.TXT", u8"Ölfässer.txt", true},
        {u8"Σ*", u8"σοφία/ς", true},
        {"*.*", u8"中文", true},
        {u8"ä?c", "a\xC3" "c", false},
        {"a?c", "a\xC3" "c", true},  // an ill-formed byte is one character, U+FFFD
        {u8"sub\\*", u8"SUB/Ж.bin", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(engines::MatchesWildcardUtf8(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
    }
    EXPECT_EQ(engines::FoldNameUtf8(u8"Ä\\Ölfässer.TXT"), engines::FoldNameUtf8(u8"ä/ölfäSSER.txt"));
    EXPECT_TRUE(engines::SameNameUtf8(u8"ΑΘΗΝΑ\\Ж.txt", u8"αθηνα/ж.TXT"));
    EXPECT_FALSE(engines::SameNameUtf8(u8"ä.txt", "a.txt"));
}

TEST(EngineText, UnsafeNamesAreRefused) {
    const char* unsafe[] = {"", "/abs", "\\abs", "C:x.txt", "c:/x", "../x", "a/../../x", "..\\x", "a/./b", "a/ .. /b",
                            "...", "CON", "con.txt", "Nul", "aux/x", "COM1", "lpt9.log", "com1 .txt", "CONIN$",
                            "a|b", "a<b", "a\"b", "a?b", "a*b", "a\x01" "b", "stream:data"};
    for (const char* name : unsafe) {
        std::vector<std::string> components;
        EXPECT_FALSE(engines::SplitSafeName(name, components)) << name;
    }
    struct Safe {
        const char* name;
        std::vector<std::string> components;
    };
    const Safe safe[] = {
        {"a.txt", {"a.txt"}}, {"sub/deeper/c.txt", {"sub", "deeper", "c.txt"}}, {"sub\\x", {"sub", "x"}},
        {"sub//x", {"sub", "x"}}, {"COM10", {"COM10"}}, {"console.txt", {"console.txt"}}, {"..a", {"..a"}},
    };
    for (const Safe& s : safe) {
        std::vector<std::string> components;
        EXPECT_TRUE(engines::SplitSafeName(s.name, components)) << s.name;
        EXPECT_EQ(components, s.components) << s.name;
    }
}

uint32_t gNumberLow = 0;
uint32_t gNumberHigh = 0;

int32_t ENGINE_API RecordNumber(void* block) {
    engine::EngineCallbackInfo info;
    std::memcpy(info.data(), block, info.size());
    gNumberLow = info.U32(0x18);
    gNumberHigh = info.U32(0x08);
    return 0;
}

// Sizes past 4 GiB reach a caller that asked for 64-bit numbers whole; one that did not gets the
// 32-bit cap it has always had.
TEST(EngineText, NumbersCrossTheCallbackInTheWidthTheCallerAsked) {
    const struct {
        uint32_t extensions;
        uint64_t number;
        uint32_t low, high;
    } cases[] = {
        {0, 6442450944u, 0x7FFFFFFFu, 0},
        {0x4C4B0001u, 6442450944u, 0x7FFFFFFFu, 0},
        {0x4C4B0002u, 6442450944u, 0x80000000u, 1},
        {0x4C4B0002u, 1234, 1234, 0},
    };
    for (const auto& c : cases) {
        engines::Reporter reporter(engine::AddressWord(reinterpret_cast<void*>(&RecordNumber)), 0, c.extensions);
        gNumberLow = gNumberHigh = 0xDEAD;
        ASSERT_TRUE(reporter.Send(engine::kActionBatchBytes, std::string(), c.number));
        EXPECT_EQ(gNumberLow, c.low) << std::hex << c.extensions;
        EXPECT_EQ(gNumberHigh, c.high) << std::hex << c.extensions;
    }
}

TEST(EngineText, DosTimesRoundTripToTheEvenSecond) {
    const platform::LocalTime time{2024, 2, 29, 23, 59, 59};
    const engines::DosStamp stamp = engines::ToDos(time);
    EXPECT_EQ(stamp.date, ((2024 - 1980) << 9) | (2 << 5) | 29);
    EXPECT_EQ(stamp.time, (23 << 11) | (59 << 5) | 29);
    const platform::LocalTime back = engines::FromDos(stamp.date, stamp.time);
    EXPECT_EQ(std::vector<int>({back.year, back.month, back.day, back.hour, back.minute, back.second}),
              std::vector<int>({2024, 2, 29, 23, 59, 58}));
    EXPECT_EQ(engines::ToDos({1970, 1, 1, 0, 0, 0}).Combined(), engines::ToDos({1980, 1, 1, 0, 0, 0}).Combined());
}

TEST(EngineText, CipherRoundTripsAndChecksItsHeader) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> plain = data;
    engines::ZipCipher writer("pw");
    std::vector<uint8_t> header = writer.MakeHeader(0xA7);
    writer.Encrypt(data.data(), data.size());
    EXPECT_NE(data, plain);
    EXPECT_FALSE(engines::ZipCipher("wrong").CheckHeader(header.data(), 0xA7) &&
                 engines::ZipCipher("other").CheckHeader(header.data(), 0xA7));
    engines::ZipCipher reader("pw");
    ASSERT_TRUE(reader.CheckHeader(header.data(), 0xA7));
    reader.Decrypt(data.data(), data.size());
    EXPECT_EQ(data, plain);
    EXPECT_EQ(engines::CheckByte(0, 0x12345678, 0xABCD), 0x12);
    EXPECT_EQ(engines::CheckByte(0x0008, 0x12345678, 0xABCD), 0xAB);
}

// Keys whose hashes agree (here all of them) are still told apart by the keys themselves, through
// the table's growth; a key is found as the first item that has it.
TEST(KeySet, FindsItemsByTheirKeysWhateverTheirHashes) {
    std::vector<std::string> keys;
    for (int i = 0; i < 200; ++i) keys.push_back("folder/file" + std::to_string(i));
    keys.push_back("");
    const auto keyOf = [&](uint32_t item) { return keys.at(item); };
    for (const bool collide : {true, false}) {
        SCOPED_TRACE(collide ? "one hash for all" : "the standard hash");
        engines::KeySet set = collide ? engines::KeySet(keyOf, [](const std::string&) { return 7u; })
                                      : engines::KeySet(keyOf);
        EXPECT_FALSE(set.Find("folder/file1"));
        for (uint32_t i = 0; i < keys.size(); ++i) ASSERT_TRUE(set.Insert(i, keys[i])) << keys[i];
        EXPECT_FALSE(set.Insert(0, "folder/file5")) << "a second item of a key is not added";
        EXPECT_EQ(set.Size(), keys.size());
        for (uint32_t i = 0; i < keys.size(); ++i) EXPECT_EQ(set.Find(keys[i]), std::optional<uint32_t>(i)) << keys[i];
        EXPECT_FALSE(set.Find("folder/file200"));
    }
}

}  // namespace
