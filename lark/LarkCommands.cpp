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
    std::fputs(platform::AnsiToConsole(line).c_str(), stdout);
    std::fputc('\n', stdout);
}

// The object creates an archive it cannot find; these commands only work on existing ones, so a
// mistyped name gives the platform's open error instead of a new empty file.
void OpenExisting(TZip& zip, const std::string& path) {
    platform::FileStream probe(path, platform::Access::Read, platform::Share::DenyNone);
    zip.SetZipFileName(path);
}

std::string FormatDosDateTime(uint32_t dosDateTime) {
    const zip::DosDateTimeParts t = zip::SplitDosDateTime(dosDateTime);
    if (!t.valid) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string EntryLine(const TFileInfo& entry) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(entry.Header.Crc32()));
    return "entry\t" + Escape(entry.FileName) + '\t' + std::to_string(entry.Header.UncompressedSize()) + '\t' +
           std::to_string(entry.Header.CompressedSize()) + '\t' + FormatDosDateTime(entry.Header.DosDateTime()) + '\t' +
           crc + '\t' + Escape(entry.FileComment) + '\t' + (entry.Encrypted ? "E" : "-");
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
