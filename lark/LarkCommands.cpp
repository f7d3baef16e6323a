// The commands of the console front end over the archive object.
#include "lark/LarkCommands.h"

#include <cstdio>
#include <cstdlib>

#include "archive/Zip.h"
#include "platform/Platform.h"
#include "sfx/SfxUtils.h"

namespace lark {

namespace {

std::string Path(const std::string& argument) { return platform::SystemPathFromArgument(argument); }
std::string Text(const std::string& argument) { return platform::AnsiFromConsole(argument); }

void PrintLine(const std::string& line) {
    const std::string text = platform::AnsiToConsole(line);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

// The object creates an archive it cannot find; these commands only work on existing ones, so a
// mistyped name gives the platform's open error instead of a new empty file.
void OpenExisting(TZip& zip, const std::string& path) {
    platform::FileStream probe(path, platform::Access::Read, platform::Share::DenyNone);
    zip.SetZipFileName(path);
}

// Listing a large archive is mostly formatting, so the entry lines are built by hand, not by printf.
void AppendDigits(std::string& out, uint32_t value, int width) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = count; i < width; ++i) out += '0';
    while (count > 0) out += digits[--count];
}

void AppendHex8(std::string& out, uint32_t value) {
    static const char kHexDigits[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

void AppendDosDateTime(std::string& out, uint32_t dosDateTime) {
    const zip::DosDateTimeParts t = zip::SplitDosDateTime(dosDateTime);
    if (!t.valid) return;
    AppendDigits(out, t.year, 4);
    out += '-';
    AppendDigits(out, t.month, 2);
    out += '-';
    AppendDigits(out, t.day, 2);
    out += ' ';
    AppendDigits(out, t.hour, 2);
    out += ':';
    AppendDigits(out, t.minute, 2);
    out += ':';
    AppendDigits(out, t.second, 2);
}

std::string EntryLine(const TFileInfo& entry) {
    std::string line = "entry\t";
    line.reserve(64 + entry.FileName.size() + entry.FileComment.size());
    line += Escape(entry.FileName);
    line += '\t';
    AppendDigits(line, entry.Header.UncompressedSize(), 1);
    line += '\t';
    AppendDigits(line, entry.Header.CompressedSize(), 1);
    line += '\t';
    AppendDosDateTime(line, entry.Header.DosDateTime());
    line += '\t';
    AppendHex8(line, entry.Header.Crc32());
    line += '\t';
    line += Escape(entry.FileComment);
    line += '\t';
    line += entry.Encrypted ? 'E' : '-';
    return line;
}

bool ParseIndex(const std::string& text, int32_t& index) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return false;
    index = static_cast<int32_t>(value);
    return true;
}

int Fail(const std::string& message) {
    std::fputs((platform::AnsiToConsole(message) + "\n").c_str(), stderr);
    return 1;
}

}  // namespace

std::string Escape(const std::string& text) {
    if (text.find_first_of("\t\n\\") == std::string::npos) return text;
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\t': escaped += "\\t"; break;
        case '\n': escaped += "\\n"; break;
        case '\\': escaped += "\\\\"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

int List(const Arguments& args) {
    TZip zip;
    OpenExisting(zip, Path(args.at(0)));
    PrintLine("comment\t" + Escape(zip.GetZipComment()));
    PrintLine("sfxoffset\t" + std::to_string(zip.SfxOffset()));
    TFileInfo entry;
    for (int32_t i = 0; i < zip.Count(); ++i) {
        zip.GetEntry(i, entry);
        PrintLine(EntryLine(entry));
    }
    return 0;
}

int Comment(const Arguments& args) {
    TZip zip;
    OpenExisting(zip, Path(args.at(0)));
    zip.SetZipComment(Text(args.at(1)));
    return 0;
}

int FileComment(const Arguments& args) {
    int32_t index = 0;
    if (!ParseIndex(args.at(1), index)) return Fail("Not an entry index: " + args.at(1));
    TZip zip;
    OpenExisting(zip, Path(args.at(0)));
    TFileInfo entry;
    zip.GetEntry(index, entry);  // an index outside the list is an error here, not a silent no-op
    zip.SetFileComment(index, Text(args.at(2)));
    return 0;
}

int Sfx(const Arguments& args) {
    const std::string out = Path(args.at(2));
    if (platform::FileExists(out)) return Fail(zip::FormatMsg(zip::Msg::AlreadyExists, out));
    if (!BuildSfx({Path(args.at(0)), Path(args.at(1))}, out)) return Fail(zip::FormatMsg(zip::Msg::BuildSfxFailed));
    return 0;
}

int Strip(const Arguments& args) {
    const std::string out = Path(args.at(1));
    if (platform::FileExists(out)) return Fail(zip::FormatMsg(zip::Msg::AlreadyExists, out));
    if (!StripSfxStub(Path(args.at(0)), out)) return Fail(zip::FormatMsg(zip::Msg::StripFailed));
    return 0;
}

}  // namespace lark
