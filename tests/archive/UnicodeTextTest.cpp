// Unicode names and comments in the format library: UTF-8 checking, code pages, Info-ZIP's Unicode
// blocks, case folding and the reading and writing rule for names.
#include <gtest/gtest.h>

#include <string>

#include "zipformat/CaseFold.h"
#include "zipformat/CodePageText.h"
#include "zipformat/UnicodeNames.h"
#include "zipformat/Utf8.h"

namespace {

using namespace std::string_literals;
using zip::CodePage;

const std::string kFffd = "\xEF\xBF\xBD";

// The bytes below 0x80 of a text, in order: what decides its separators and dots.
std::string AsciiOf(const std::string& text) {
    std::string ascii;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x80) ascii += c;
    }
    return ascii;
}

TEST(Utf8, IllFormedSequencesBecomeOneReplacementEach) {
    struct Case {
        std::string bytes;
        std::string valid;
    };
    const Case cases[] = {
        {"plain/name.txt", "plain/name.txt"},
        {u8"Ölfässer/中文/😀.txt", u8"Ölfässer/中文/😀.txt"},
        {"\xEF\xBF\xBD", kFffd},                                   // a replacement character that was stored
        {"\xC0\xAF", kFffd + kFffd},                               // '/' in an overlong form
        {"\xC0\xAE\xC0\xAE/x", kFffd + kFffd + kFffd + kFffd + "/x"},  // ".." in overlong forms
        {"\xE0\x80\xAE", kFffd + kFffd + kFffd},                   // '.' in a three-byte overlong form
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},                   // a surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},       // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", kFffd + kFffd + kFffd + kFffd + kFffd},  // a five-byte form
        {"a\xE4\xB8", "a" + kFffd},                                // cut short at the end
        {"\xE4\xB8/b", kFffd + "/b"},                              // cut short by a separator, which stays
        {"\xF0\x90\x80" "A", kFffd + "A"},
        {"\x80x", kFffd + "x"},                                    // a stray continuation byte
        {"a\0b"s, "a\0b"s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zip::ValidUtf8(c.bytes), c.valid) << c.bytes;
        EXPECT_EQ(zip::IsValidUtf8(c.bytes), c.bytes == c.valid) << c.bytes;
    }
    EXPECT_EQ(zip::CodePoints(u8"a中😀"), U"a中😀");
}

// Every lead byte above 0x7F, followed by bytes at the edges of the well-formed ranges and by a
// separator or dot: the result is valid, and its bytes below 0x80 are exactly those of the input,
// so no separator or dot appears or vanishes.
TEST(Utf8, DecodingNeverAddsOrLosesPathCharacters) {
    const int seconds[] = {0x00, '.', '/', '\\', 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xE0, 0xF4, 0xFF};
    const char* tails[] = {"", "/", ".", "\x80/", "\x80\x80."};
    int wrong = 0;
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (const int second : seconds) {
            for (const char* tail : tails) {
                const std::string bytes = std::string{static_cast<char>(lead), static_cast<char>(second)} + tail;
                const std::string valid = zip::ValidUtf8(bytes);
                if (!zip::IsValidUtf8(valid) || AsciiOf(valid) != AsciiOf(bytes)) ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(CodePageText, PagesToAndFromUtf8) {
    struct Case {
        CodePage page;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {CodePage::Oem, "\x99lf\x84sser.txt", u8"Ölfässer.txt"},
        {CodePage::Ansi, "\x99lf\x84sser.txt", u8"™lf„sser.txt"},
        {CodePage::Oem, "\xE0\xE1\x9E\xC9", u8"αß₧╔"},
        {CodePage::Ansi, "\x80\xC4\xFF", u8"€Äÿ"},
        {CodePage::Ansi, "\x81", u8"\u0081"},  // undefined in 1252: kept as the control of the same value
        {CodePage::Oem, "a/b\\c", "a/b\\c"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zip::CodePageToUtf8(c.page, c.bytes), c.utf8) << c.bytes;
        std::string back;
        EXPECT_TRUE(zip::Utf8ToCodePage(c.page, c.utf8, back)) << c.utf8;
        EXPECT_EQ(back, c.bytes) << c.utf8;
    }
}

TEST(CodePageText, HeldExactlyOnlyWhenEveryCharacterHasAByte) {
    struct Case {
        std::string utf8;
        bool inOem;
        bool inAnsi;
    };
    const Case cases[] = {
        {"readme.txt", true, true},
        {u8"Ölfässer.txt", true, true},
        {u8"αß.txt", true, false},
        {u8"€.txt", false, true},
        {u8"Ελλάδα.txt", false, false},
        {u8"中文.txt", false, false},
        {u8"😀", false, false},
        {"\xC3", false, false},  // not UTF-8 at all
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zip::HeldExactly(CodePage::Oem, c.utf8), c.inOem) << c.utf8;
        EXPECT_EQ(zip::HeldExactly(CodePage::Ansi, c.utf8), c.inAnsi) << c.utf8;
    }
}

// An Info-ZIP Unicode block: ID, length, version, CRC-32 (little-endian), text.
std::string UnicodeBlock(uint16_t id, uint8_t version, uint32_t crc, const std::string& text) {
    std::string block;
    for (const uint32_t value : {uint32_t{id}, static_cast<uint32_t>(5 + text.size())}) {
        block += static_cast<char>(value & 0xFF);
        block += static_cast<char>(value >> 8);
    }
    block += static_cast<char>(version);
    for (int i = 0; i < 4; ++i) block += static_cast<char>(crc >> (8 * i));
    return block + text;
}

const std::string kOemName = "\x99lf\x84sser.txt";  // Ölfässer.txt in code page 437
constexpr uint32_t kOemNameCrc = 0xB0C270B0;
// A timestamp block in front, as writers put one.
const std::string kTimeBlock = "\x55\x54\x05\x00\x03\x00\x00\x00\x00"s;

TEST(UnicodeNames, UnicodeBlocksCountOnlyWithVersionOneAndTheStoredTextsCrc) {
    struct Case {
        const char* what;
        std::string extra;
        uint16_t id;
        std::string stored;
        bool found;
        std::string text;
    };
    const Case cases[] = {
        {"laid out by hand", "\x75\x70\x13\x00\x01\xB0\x70\xC2\xB0"s + u8"Ölfässer.txt", 0x7075, kOemName,
         true, u8"Ölfässer.txt"},
        {"behind another block", kTimeBlock + UnicodeBlock(0x7075, 1, kOemNameCrc, u8"Ölfässer.txt"), 0x7075, kOemName,
         true, u8"Ölfässer.txt"},
        {"comment block", UnicodeBlock(0x6375, 1, 0x5BDA44A2, u8"café notes"), 0x6375, "caf\x82 notes", true,
         u8"café notes"},
        {"wrong CRC", UnicodeBlock(0x7075, 1, kOemNameCrc ^ 1, u8"Ölfässer.txt"), 0x7075, kOemName, false, ""},
        {"version 2", UnicodeBlock(0x7075, 2, kOemNameCrc, u8"Ölfässer.txt"), 0x7075, kOemName, false, ""},
        {"no text", UnicodeBlock(0x7075, 1, kOemNameCrc, ""), 0x7075, kOemName, false, ""},
        {"cut short", UnicodeBlock(0x7075, 1, kOemNameCrc, u8"Ölfässer.txt").substr(0, 12), 0x7075, kOemName, false,
         ""},
        {"other ID", UnicodeBlock(0x6375, 1, kOemNameCrc, u8"Ölfässer.txt"), 0x7075, kOemName, false, ""},
        {"ill-formed text", UnicodeBlock(0x7075, 1, 0xAC1B0249, "x\xC0\xAF"), 0x7075, "x.txt", true, "x" + kFffd + kFffd},
        {"adds a separator", UnicodeBlock(0x7075, 1, 0xAC1B0249, "a/x.txt"), 0x7075, "x.txt", false, ""},
        {"adds a parent", UnicodeBlock(0x7075, 1, 0x063E55BB, "../b.txt"), 0x7075, "a/b.txt", false, ""},
        {"keeps its separator", UnicodeBlock(0x7075, 1, 0x063E55BB, u8"ä/b.txt"), 0x7075, "a/b.txt", true, u8"ä/b.txt"},
    };
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(zip::UnicodeExtraText(c.extra, c.id, c.stored, text), c.found) << c.what;
        if (c.found) {
            EXPECT_EQ(text, c.text) << c.what;
        }
    }
}

TEST(UnicodeNames, NameComesFromTheFlagThenTheBlockThenTheCodePage) {
    const std::string block = UnicodeBlock(0x7075, 1, kOemNameCrc, u8"Ölfässer.txt");
    struct Case {
        const char* what;
        std::string stored;
        uint16_t flags;
        std::string extra;
        bool oem;
        std::string name;
    };
    const Case cases[] = {
        {"flagged UTF-8", "\xE4\xB8\xAD.txt", 0x0800, "", true, u8"中.txt"},
        {"flagged, ill-formed", "\xC0\xAF.txt", 0x0809, "", false, kFffd + kFffd + ".txt"},
        {"flag before block", "x.txt", 0x0800, UnicodeBlock(0x7075, 1, 0xAC1B0249, "y.txt"), true, "x.txt"},
        {"matching block", kOemName, 0, kTimeBlock + block, false, u8"Ölfässer.txt"},
        {"block of another name", "\x99.txt", 0, block, false, u8"™.txt"},
        {"OEM archive", "\x8E\\b.txt", 0, "", true, u8"Ä\\b.txt"},
        {"ANSI archive", "\xC4/b.txt", 0x0001, "", false, u8"Ä/b.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zip::EntryNameUtf8(c.stored, c.flags, c.extra, c.oem), c.name) << c.what;
    }
    // A comment reads the comment block, never the path block.
    const std::string comment = UnicodeBlock(0x6375, 1, 0x5BDA44A2, u8"café notes");
    EXPECT_EQ(zip::EntryCommentUtf8("caf\x82 notes", 0, block + comment, false), u8"café notes");
    EXPECT_EQ(zip::EntryCommentUtf8(kOemName, 0, block, false), u8"™lf„sser.txt");
}

TEST(UnicodeNames, ArchiveCommentIsUtf8OnlyWhenItReadsAsUtf8) {
    EXPECT_EQ(zip::ArchiveCommentUtf8(u8"Архив", true), u8"Архив");
    EXPECT_EQ(zip::ArchiveCommentUtf8("\x8E" "bc", true), u8"Äbc");
    EXPECT_EQ(zip::ArchiveCommentUtf8("\xC9\xCD\xBB", true), u8"╔═╗");
    EXPECT_EQ(zip::ArchiveCommentUtf8("\xC4" "bc", false), u8"Äbc");
}

// The archive comment has no flag: the code page when the page holds it and its bytes do not read
// as UTF-8, else UTF-8; either way it reads back as written.
TEST(UnicodeNames, ArchiveCommentIsStoredSoThatItReadsBack) {
    struct Case {
        std::string utf8;
        bool oem;
        std::string stored;
    };
    const Case cases[] = {
        {u8"café", true, "caf\x82"},
        {u8"café", false, "caf\xE9"},
        {u8"中文 notes", true, u8"中文 notes"},
        {u8"Ã©", false, u8"Ã©"},  // in the ANSI page C3 A9, which would read as UTF-8 "é"
    };
    for (const Case& c : cases) {
        const std::string stored = zip::StoredArchiveCommentFor(c.utf8, c.oem);
        EXPECT_EQ(stored, c.stored) << c.utf8;
        EXPECT_EQ(zip::ArchiveCommentUtf8(stored, c.oem), c.utf8) << c.utf8;
    }
}

TEST(UnicodeNames, WritersKeepOemNamesAndFlagTheRest) {
    struct Case {
        std::string utf8;
        std::string bytes;
        bool flagged;
    };
    const Case cases[] = {
        {"sub/readme.txt", "sub/readme.txt", false},
        {u8"Ölfässer.txt", kOemName, false},
        {u8"€.txt", u8"€.txt", true},
        {u8"Ελλάδα/中文/😀.txt", u8"Ελλάδα/中文/😀.txt", true},
        {"\xC3.txt", kFffd + ".txt", true},
    };
    for (const Case& c : cases) {
        const zip::StoredText stored = zip::StoredTextFor(c.utf8);
        EXPECT_EQ(stored.bytes, c.bytes) << c.utf8;
        EXPECT_EQ(stored.utf8, c.flagged) << c.utf8;
        // What is written reads back as the same name in an archive our writer made (OEM names).
        if (zip::IsValidUtf8(c.utf8)) {
            EXPECT_EQ(zip::EntryNameUtf8(stored.bytes, stored.utf8 ? 0x0800 : 0, "", true), c.utf8) << c.utf8;
        }
    }
}

TEST(UnicodeNames, NameAndCommentShareTheFlag) {
    const zip::StoredEntryText oem = zip::StoredEntryTextFor(u8"Ölfässer.txt", u8"für später");
    EXPECT_EQ(oem.name, kOemName);
    EXPECT_EQ(oem.comment, "f\x81r sp\x84ter");
    EXPECT_FALSE(oem.utf8);
    // A comment the OEM page cannot hold takes the name along into UTF-8, and the other way round.
    const zip::StoredEntryText byComment = zip::StoredEntryTextFor(u8"Ölfässer.txt", u8"€ 5");
    EXPECT_EQ(byComment.name, u8"Ölfässer.txt");
    EXPECT_EQ(byComment.comment, u8"€ 5");
    EXPECT_TRUE(byComment.utf8);
    const zip::StoredEntryText byName = zip::StoredEntryTextFor(u8"中.txt", u8"für");
    EXPECT_EQ(byName.comment, u8"für");
    EXPECT_TRUE(byName.utf8);
}

TEST(CaseFold, SimpleFoldingAcrossScripts) {
    struct Case {
        std::string a;
        std::string b;
        bool same;
    };
    const Case cases[] = {
        {"README.TXT", "readme.txt", true},
        {u8"ÄÖÜ.txt", u8"äöü.TXT", true},      // Latin-1
        {u8"ŁĄŽ", u8"łąž", true},              // Latin Extended-A
        {u8"ǄƏȺ", u8"ǆəⱥ", true},              // Latin Extended-B, one folding outside the block
        {u8"ǅ", u8"ǆ", true},                  // title case
        {u8"ỆẞĀ", u8"ệßā", true},              // Latin Extended Additional; capital sharp s
        {u8"ΣΟΦΊΑ", u8"σοφία", true},          // Greek
        {u8"ς", u8"σ", true},                  // final sigma
        {u8"ЖЁЇ", u8"жёї", true},              // Cyrillic
        {u8"ԱԲԳ", u8"աբգ", true},              // Armenian
        {u8"ＡＢＣ", u8"ａｂｃ", true},        // fullwidth Latin
        {u8"𐐀", u8"𐐨", true},                // Deseret, beyond the BMP
        {u8"\u212A", "k", true},               // Kelvin sign
        {u8"ß", "ss", false},                  // full folding would call these the same
        {"I", u8"ı", false},                   // no Turkish rules
        {u8"ä", "a", false},
        {u8"中文", u8"中文", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zip::FoldCaseUtf8(c.a) == zip::FoldCaseUtf8(c.b), c.same) << c.a << " / " << c.b;
    }
    EXPECT_EQ(zip::FoldCase(U'Ä'), U'ä');
    EXPECT_EQ(zip::FoldCase(U'ä'), U'ä');
    EXPECT_EQ(zip::FoldCase(U'Ÿ'), U'ÿ');
    EXPECT_EQ(zip::FoldCase(U'ſ'), U's');
    EXPECT_EQ(zip::FoldCase(0x10FFFF), char32_t{0x10FFFF});
}

}  // namespace
