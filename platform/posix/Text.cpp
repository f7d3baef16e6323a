// Host text: the OEM and ANSI code pages from generated tables; the program's UTF-8 is the terminal's and the names'.
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "platform/CodePages.h"
#include "platform/Text.h"
#include "platform/posix/HostText.h"

namespace platform::posix {
namespace {

using codepages::kReplacement;

std::string MapBytes(const std::string& text, const uint8_t (&table)[256]) {
    std::string mapped(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) mapped[i] = static_cast<char>(table[static_cast<uint8_t>(text[i])]);
    return mapped;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos` and moves past it; a malformed byte decodes to nothing (-1)
// and is skipped alone, so one bad byte costs one replacement character.
int32_t DecodeUtf8(const std::string& text, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(pos);
    int length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07;
    } else {
        ++pos;
        return -1;
    }
    if (pos + length > text.size()) {
        ++pos;
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return -1;
        }
        code = (code << 6) | (byte(pos + i) & 0x3F);
    }
    pos += length;
    return static_cast<int32_t>(code);
}

const std::unordered_map<uint32_t, char>& AnsiOfUnicode() {
    static const std::unordered_map<uint32_t, char> table = [] {
        std::unordered_map<uint32_t, char> reverse;
        for (int byte = 0; byte < 256; ++byte) reverse.emplace(codepages::kAnsiToUnicode[byte], static_cast<char>(byte));
        return reverse;
    }();
    return table;
}

bool HasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string WithBackslashes(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string HostCurrentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? buffer : "/";
}

}  // namespace

std::string Utf8FromAnsi(const std::string& ansi) {
    // Code page 1252 and UTF-8 agree on the first 128 characters, and most text stays there.
    const bool ascii = std::all_of(ansi.begin(), ansi.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
    if (ascii) return ansi;
    std::string utf8;
    utf8.reserve(ansi.size());
    for (const char c : ansi) AppendUtf8(utf8, codepages::kAnsiToUnicode[static_cast<uint8_t>(c)]);
    return utf8;
}

std::string AnsiFromUtf8(const std::string& utf8) {
    const auto& ansiOf = AnsiOfUnicode();
    std::string ansi;
    ansi.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const int32_t code = DecodeUtf8(utf8, pos);
        const auto found = code < 0 ? ansiOf.end() : ansiOf.find(static_cast<uint32_t>(code));
        ansi += found == ansiOf.end() ? kReplacement : found->second;
    }
    return ansi;
}

std::string SystemFromHostPath(const std::string& hostPath) { return "C:" + WithBackslashes(hostPath); }

}  // namespace platform::posix

namespace platform {

using posix::AnsiFromUtf8;
using posix::Utf8FromAnsi;

std::string OemToAnsi(const std::string& text) { return posix::MapBytes(text, codepages::kOemToAnsi); }
std::string AnsiToOem(const std::string& text) { return posix::MapBytes(text, codepages::kAnsiToOem); }

std::string Utf8ToAnsi(const std::string& text) { return AnsiFromUtf8(text); }
std::string AnsiToUtf8(const std::string& text) { return Utf8FromAnsi(text); }
bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

// The host has no drive letters, so a path without one is a host path: made absolute and given
// the drive C:, which the host's root is mapped on.
std::string SystemPathFromArgument(const std::string& argument) {
    if (posix::HasDriveLetter(argument)) return posix::WithBackslashes(argument);
    std::string hostPath = argument;
    if (hostPath.empty() || hostPath[0] != '/') {
        std::string directory = posix::HostCurrentDirectory();
        if (directory.back() != '/') directory += '/';
        hostPath = directory + hostPath;
    }
    return posix::SystemFromHostPath(hostPath);
}

}  // namespace platform
