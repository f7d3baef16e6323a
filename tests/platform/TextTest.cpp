// OEM and ANSI text, one byte for one byte, and the console's text.
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

TEST(Text, ConsoleTextIsUtf8OnTheHost) {
    // The program's text is UTF-8 and the host's names are bytes: nothing is converted or lost.
    for (const std::string text : {"plain", "caf\xC3\xA9", "\xE6\x97\xA5.zip", "a\xFF" "b"}) {
        EXPECT_EQ(platform::AnsiFromConsole(text), text);
        EXPECT_EQ(platform::AnsiToConsole(text), text);
    }
}
#else
TEST(Text, ConsoleTextIsAnsiOnWindows) {
    const struct {
        std::string console;
        std::string utf8;
    } cases[] = {{"plain", "plain"}, {"caf\xE9", "caf\xC3\xA9"}, {"\x80", "\xE2\x82\xAC"}};
    for (const auto& c : cases) {
        EXPECT_EQ(platform::AnsiFromConsole(c.console), c.utf8);
        EXPECT_EQ(platform::AnsiToConsole(c.utf8), c.console);
    }
    EXPECT_EQ(platform::SystemPathFromArgument("C:\\a b\\x.zip"), "C:\\a b\\x.zip");
}
#endif

}  // namespace
