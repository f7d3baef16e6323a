// UTF-8 as names and comments arrive from archives: decoded, checked and made valid, never trusted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zip {

// What an ill-formed sequence becomes.
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the character at `at` and moves past it. An ill-formed sequence (a stray continuation
// byte, an overlong form, a surrogate, a value above U+10FFFF, a sequence cut short) gives
// kReplacementCharacter and moves past its longest well-formed start, at least one byte, so each
// broken sequence costs one replacement. A byte below 0x80 is never swallowed by a broken sequence:
// every '/', '\' and '.' in the result is one in the bytes, so decoding adds no path parts.
char32_t NextCodePoint(std::string_view utf8, size_t& at);

void AppendUtf8(std::string& out, char32_t code);
bool IsValidUtf8(std::string_view bytes);
// The bytes with every ill-formed sequence replaced by U+FFFD: valid UTF-8 for the list and for paths.
std::string ValidUtf8(std::string_view bytes);
std::u32string CodePoints(std::string_view utf8);

}  // namespace zip
