// Decoding UTF-8 by the well-formed byte ranges, so overlong forms and surrogates are never accepted.
#include "zipformat/Utf8.h"

#include <cstdint>

namespace zip {
namespace {

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The continuation bytes a lead byte needs, and the range its first one must lie in: narrower than
// 80..BF after E0 and F0 (no overlong forms), ED (no surrogates) and F4 (nothing above U+10FFFF).
struct LeadRule {
    int continuations;
    uint8_t low, high;
};

LeadRule RuleFor(uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF};
    if (lead == 0xE0) return {2, 0xA0, 0xBF};
    if (lead == 0xED) return {2, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF};
    if (lead == 0xF0) return {3, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF};
    if (lead == 0xF4) return {3, 0x80, 0x8F};
    return {0, 0, 0};  // C0, C1, F5..FF and continuation bytes never start a character
}

// False for an ill-formed sequence, with `at` past its longest well-formed start.
bool Decode(std::string_view utf8, size_t& at, char32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(utf8[i]); };
    const uint8_t lead = byte(at++);
    code = lead;
    if (lead < 0x80) return true;
    const LeadRule rule = RuleFor(lead);
    if (rule.continuations == 0) return false;
    code = lead & (0x3F >> rule.continuations);
    for (int i = 0; i < rule.continuations; ++i) {
        if (at >= utf8.size()) return false;
        const uint8_t next = byte(at);
        const bool inRange = i == 0 ? next >= rule.low && next <= rule.high : IsContinuation(next);
        if (!inRange) return false;
        code = (code << 6) | (next & 0x3F);
        ++at;
    }
    return true;
}

}  // namespace

char32_t NextCodePoint(std::string_view utf8, size_t& at) {
    char32_t code = 0;
    return Decode(utf8, at, code) ? code : kReplacementCharacter;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code >= 0xD800 && (code <= 0xDFFF || code > 0x10FFFF)) code = kReplacementCharacter;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    char32_t code = 0;
    for (size_t at = 0; at < bytes.size();) {
        if (!Decode(bytes, at, code)) return false;
    }
    return true;
}

std::string ValidUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string valid;
    valid.reserve(bytes.size() + 8);
    for (size_t at = 0; at < bytes.size();) AppendUtf8(valid, NextCodePoint(bytes, at));
    return valid;
}

std::u32string CodePoints(std::string_view utf8) {
    std::u32string codes;
    codes.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) codes += NextCodePoint(utf8, at);
    return codes;
}

}  // namespace zip
