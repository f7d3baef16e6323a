// Names and comments in the OEM (437) and ANSI (1252) code pages, to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace zip {

enum class CodePage { Oem, Ansi };

// Every byte has a character in both pages, so this never fails and never loses a byte.
std::string CodePageToUtf8(CodePage page, std::string_view bytes);
// The text in the page; false, with `bytes` undefined, when the text is not valid UTF-8 or holds a
// character the page has no byte for.
bool Utf8ToCodePage(CodePage page, std::string_view utf8, std::string& bytes);
// Whether the page holds the text exactly, so that storing it there and reading it back gives the
// same text: the rule for writing a name without the UTF-8 flag.
bool HeldExactly(CodePage page, std::string_view utf8);

}  // namespace zip
