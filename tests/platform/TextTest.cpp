// OEM and ANSI text, one byte for one byte, and UTF-8 to and from the ANSI page.
#include <gtest/gtest.h>

#include "platform/Text.h"

namespace {

std::string Byte(unsigned value) { return std::string(1, static_cast<char>(value)); }

TEST(Text, OemAndAnsiLettersCorrespond) {
    const struct {
        unsigned oem;
        unsigned ansi;
    } cases[] = {
        {0x82, 0xE9},  // é
        {0x81, 0xFC},  // ü
        {0x9A, 0xDC},  // Ü
        {0x80, 0xC7},  // Ç
        {0xA4, 0xF1},  // ñ
        {0xE1, 0xDF},  // ß
        {0x41, 0x41},  // A
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::OemToAnsi(Byte(c.oem)), Byte(c.ansi)) << std::hex << c.oem;
        EXPECT_EQ(platform::AnsiToOem(Byte(c.ansi)), Byte(c.oem)) << std::hex << c.ansi;
    }
}

TEST(Text, AccentedLettersRoundTrip) {
    std::string oem;
    for (unsigned byte = 0x80; byte <= 0x9A; ++byte) oem += static_cast<char>(byte);
    for (unsigned byte = 0xA0; byte <= 0xA5; ++byte) oem += static_cast<char>(byte);
    const std::string ansi = platform::OemToAnsi(oem);
    EXPECT_EQ(platform::AnsiToOem(ansi), oem);
    for (const char c : ansi) EXPECT_GE(static_cast<unsigned char>(c), 0xC0) << "not a letter: " << std::hex << +c;
}

TEST(Text, PrintableAsciiAndLengthsAreKept) {
    std::string ascii;
    for (char c = 0x20; c < 0x7F; ++c) ascii += c;
    EXPECT_EQ(platform::OemToAnsi(ascii), ascii);
    EXPECT_EQ(platform::AnsiToOem(ascii), ascii);
    const std::string withZero("a\0\x82", 3);
    EXPECT_EQ(platform::OemToAnsi(withZero), std::string("a\0\xE9", 3));
    EXPECT_EQ(platform::OemToAnsi(""), "");
}

TEST(Text, Utf8AndAnsiRoundTrip) {
    const std::string ansi = "Caf\xE9 \xD1" "and\xFA";
    const std::string utf8 = "Caf\xC3\xA9 \xC3\x91" "and\xC3\xBA";
    EXPECT_EQ(platform::AnsiToUtf8(ansi), utf8);
    EXPECT_EQ(platform::Utf8ToAnsi(utf8), ansi);
    EXPECT_EQ(platform::Utf8ToAnsi("plain"), "plain");
    EXPECT_EQ(platform::Utf8ToAnsi(""), "");
}

#ifndef _WIN32
// Windows picks a best fit (a box corner becomes '+'); the host's tables use a fixed replacement.
TEST(Text, CharactersWithoutCounterpartBecomeTheReplacement) {
    EXPECT_EQ(platform::OemToAnsi("\xB0\xC9\xE0"), "___");  // shade, box corner, alpha
    EXPECT_EQ(platform::AnsiToOem("\x80\xC0\xAE"), "___");  // euro, A grave, registered
}

TEST(Text, Utf8AndAnsiOnTheHostTables) {
    const struct {
        std::string utf8;
        std::string ansi;
    } cases[] = {
        {"\xE2\x82\xAC", "\x80"},  // euro sign
        {"\xC3\x9C" "ber", "\xDC" "ber"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
        EXPECT_EQ(platform::AnsiToUtf8(c.ansi), c.utf8) << c.utf8;
    }
    const struct {
        std::string utf8;
        std::string ansi;
    } oneWay[] = {
        {"\xE6\x97\xA5.zip", "_.zip"},  // a character the ANSI code page lacks
        {"a\xFF" "b", "a_b"},           // not UTF-8
        {"a\xC3", "a_"},                // cut short
        {"\xC3(", "_("},                // continuation missing
    };
    for (const auto& c : oneWay) EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi);
}
#else
TEST(Text, ArgumentPathsAreTakenAsGiven) {
    EXPECT_EQ(platform::SystemPathFromArgument("C:\\a b\\x.zip"), "C:\\a b\\x.zip");
}
#endif

}  // namespace
