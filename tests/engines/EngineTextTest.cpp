// The engines' shared helpers: Windows wildcards, the safety test of names, DOS times, the cipher.
#include <gtest/gtest.h>

#include "engines/common/Codec.h"
#include "engines/common/Engine.h"
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
        EXPECT_EQ(engines::MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
    }
    EXPECT_TRUE(engines::SameName("Sub\\A.txt", "sub/a.TXT"));
    EXPECT_FALSE(engines::SameName("a.txt", "a.txt2"));
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

}  // namespace
