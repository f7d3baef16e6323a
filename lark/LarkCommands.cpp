// The commands of the console front end over the archive object.
#include "lark/LarkCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "tzip/Zip.h"
#include "engine/ProgressForm.h"
#include "engine/ZipDlls.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "sfx/SfxUtils.h"

namespace lark {

namespace {

// Paths are made absolute against the folder lark started in, once: the operations change the
// current folder (an extract moves into its destination) before the engines open what they name.
std::string Path(const std::string& argument) {
    static const std::string startFolder = platform::GetCurrentDirectory();
    return FullPathName(startFolder, platform::SystemPathFromArgument(argument));
}
void PrintLine(const std::string& line) { platform::WriteText(stdout, line + "\n"); }

// A disk question answered with Cancel leaves the archive unread: an empty listing or a count of
// 0 would pass for success, so it is an error here.
void RefuseUnread(const TZip& zip) {
    if (zip.DiskPromptCancelled()) throw ZipException(zip::FormatMsg(zip::Msg::DiskPromptCancelled, zip.ZipFileName()));
}

// The object creates an archive it cannot find; these commands only work on existing ones, so a
// mistyped name gives the platform's open error instead of a new empty file.
void OpenExisting(TZip& zip, const std::string& path) {
    platform::FileStream probe(path, platform::Access::Read, platform::Share::DenyNone);
    zip.SetZipFileName(path);
    RefuseUnread(zip);
}

// Listing a large archive is mostly formatting, so the entry lines are built by hand, not by printf.
void AppendDigits(std::string& out, uint64_t value, int width) {
    char digits[20];
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
    AppendDigits(line, entry.Size, 1);
    line += '\t';
    AppendDigits(line, entry.PackedSize, 1);
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

void PrintError(const std::string& line) { platform::WriteText(stderr, line + "\n"); }

int Fail(const std::string& message) {
    PrintError(message);
    return 1;
}

// An entry name or pattern as the list shows it: ANSI text with backslashes.
std::string EntryName(const std::string& argument) { return SlashesToBackslashes(argument); }

// The engine commands' arguments: options (with their values) anywhere, the rest in order.
struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // "-r" -> ROOTDIR
    std::map<std::string, bool> flags;          // "-f" -> true
};

// False when an option is unknown or lacks its value. "--" ends the options.
bool Parse(const Arguments& args, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flagOptions, ParsedArguments& parsed) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (std::find(valueOptions.begin(), valueOptions.end(), arg) != valueOptions.end()) {
            if (++i == args.size()) return false;
            parsed.values[arg] = args[i];
        } else if (std::find(flagOptions.begin(), flagOptions.end(), arg) != flagOptions.end()) {
            parsed.flags[arg] = true;
        } else {
            return false;
        }
    }
    return true;
}

// The engines live beside the program; LARK_ENGINES names another folder (the tests' fakes).
void UseEngineFolder(TZip& zip) {
    if (const char* folder = std::getenv("LARK_ENGINES")) zip.DllDirectory = Path(folder);
}

// Progress on standard error: the batch's percentage and the current file, redrawn in place.
class ConsoleProgress final : public TProgressForm {
public:
    ~ConsoleProgress() override { EndLine(); }
    void Show() override { shown_ = true; }
    void Hide() override {
        EndLine();
        shown_ = false;
    }
    void SetProgressMax(int32_t n) override { max_ = n; }
    void SetProgressPosition(int32_t n) override {
        position_ = n;
        Draw();
    }
    void SetStatusText(const std::string& text) override {
        text_ = text;
        Draw();
    }

private:
    // Spaces wipe what a longer line left: not every console knows the erase-line sequence.
    void Draw() {
        if (!shown_) return;
        const int percent = max_ > 0 ? static_cast<int>((static_cast<int64_t>(position_) * 100 + max_ / 2) / max_) : 0;
        char head[16];
        std::snprintf(head, sizeof head, "%3d%% ", percent);
        std::string line = head + text_;
        const size_t length = line.size();
        if (length < drawnLength_) line.append(drawnLength_ - length, ' ');
        platform::WriteText(stderr, "\r" + line);
        std::fflush(stderr);
        drawnLength_ = length;
        drawn_ = true;
    }
    void EndLine() {
        if (!drawn_) return;
        std::fputc('\n', stderr);
        drawn_ = false;
        drawnLength_ = 0;
    }

    bool shown_ = false;
    bool drawn_ = false;
    size_t drawnLength_ = 0;
    int32_t max_ = 0;
    int32_t position_ = 0;
    std::string text_;
};

std::unique_ptr<TProgressForm> MakeConsoleProgress(TZip&) { return std::make_unique<ConsoleProgress>(); }

// Progress shows only on a terminal; in a file or a pipe it would be noise.
void ShowProgressOnTerminal(TZip& zip) {
    if (platform::StandardErrorIsTerminal()) zip.SetProgressFormFactory(MakeConsoleProgress);
}

void SetPasswordOption(TZip& zip, const ParsedArguments& parsed) {
    const auto password = parsed.values.find("-p");
    if (password != parsed.values.end()) zip.SetPassword(password->second);
}

// --trace FILE: the engines' trace lines go to FILE.
void SetTraceOption(TZip& zip, const ParsedArguments& parsed) {
    const auto trace = parsed.values.find("--trace");
    if (trace == parsed.values.end()) return;
    zip.TraceEnabled = true;
    zip.TracePath = Path(trace->second);
}

void PrintNotProcessed(const std::string& name, const std::string& reason) {
    PrintError(zip::FormatMsg(zip::Msg::NotProcessed, name, reason));
}

// Names every file the engine did not process, with its reason, on standard error. True when one
// of them is a failure: anything but a newer file kept or a hidden file left out by the options.
bool ReportSkippedFiles(const TZip& zip) {
    bool failed = false;
    for (const TSkippedFile& file : zip.SkippedFiles()) {
        std::string reason = engine::SkipReasonText(file.Reason);
        if (!file.Detail.empty()) reason += " (" + file.Detail + ")";
        PrintNotProcessed(file.Name, reason);
        if (file.Reason != engine::kSkipNotNewer && file.Reason != engine::kSkipExcluded) failed = true;
    }
    return failed;
}

// The outcome of an engine command as an exit code: 1 unless everything asked for was done.
int ExitCode(const TZip& zip, bool failedBefore) {
    const bool skipped = ReportSkippedFiles(zip);
    return failedBefore || skipped || zip.Refused() || zip.Cancelled || zip.ErrorCount() > 0 ? 1 : 0;
}

// An archive that add made and then left empty is not left behind.
void RemoveIfLeftEmpty(TZip& zip, const std::string& path) {
    if (zip.Count() > 0) return;
    zip.SetZipFileName(std::string());
    platform::DeleteFile(path);
}

// The entries named by the arguments from `first` on (every entry when none) become the run's specs.
// An archive without entries never reaches the engine, which would name what matched nothing, so
// each name is reported here; true when any was given.
bool ChooseEntries(TZip& zip, const std::vector<std::string>& positional, size_t first) {
    std::vector<std::string> specs;
    for (size_t i = first; i < positional.size(); ++i) specs.push_back(EntryName(positional[i]));
    bool failed = false;
    if (zip.Count() == 0) {
        for (const std::string& spec : specs) PrintNotProcessed(spec, engine::SkipReasonText(engine::kSkipNotMatched));
        failed = !specs.empty();
    }
    if (specs.empty()) specs.push_back("*.*");
    zip.SetFileSpecs(specs);
    return failed;
}

}  // namespace

std::string Escape(const std::string& text) {
    static const std::string kSpecial("\t\n\\\0", 4);
    if (text.find_first_of(kSpecial) == std::string::npos) return text;
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\t': escaped += "\\t"; break;
        case '\n': escaped += "\\n"; break;
        case '\\': escaped += "\\\\"; break;
        case '\0': escaped += "\\0"; break;
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
    zip.SetZipComment(args.at(1));
    return 0;
}

int FileComment(const Arguments& args) {
    int32_t index = 0;
    if (!ParseIndex(args.at(1), index)) return Fail("Not an entry index: " + args.at(1));
    TZip zip;
    OpenExisting(zip, Path(args.at(0)));
    TFileInfo entry;
    zip.GetEntry(index, entry);  // an index outside the list is an error here, not a silent no-op
    zip.SetFileComment(index, args.at(2));
    return 0;
}

int Sfx(const Arguments& args) {
    const std::string out = Path(args.at(2));
    if (platform::FileExists(out)) return Fail(zip::FormatMsg(zip::Msg::AlreadyExists, out));
    if (!BuildSfx({Path(args.at(0)), Path(args.at(1))}, out)) return Fail(zip::FormatMsg(zip::Msg::BuildSfxFailed));
    return 0;
}

int Version(const Arguments&) {
    std::printf("Larkspool %s\n", LARK_VERSION);
    return 0;
}

int Add(const Arguments& args) {
    ParsedArguments parsed;
    if (!Parse(args, {"-r", "-p", "--trace"}, {"--aes"}, parsed) || parsed.positional.empty()) return kUsageError;
    // Strong encryption needs the password it encrypts with.
    const bool aes = parsed.flags.count("--aes") != 0;
    if (aes && !parsed.values.count("-p")) return kUsageError;
    const auto root = parsed.values.find("-r");
    const bool folderTree = root != parsed.values.end();
    if (!folderTree && parsed.positional.size() < 2) return kUsageError;
    if (folderTree && !platform::DirectoryExists(Path(root->second)))
        return Fail(zip::FormatMsg(zip::Msg::AddRootMissing, Path(root->second)));

    bool failed = false;
    std::vector<std::string> specs;
    for (size_t i = 1; i < parsed.positional.size(); ++i) {
        // Below a root folder the specs name files relative to it; otherwise each is a path.
        if (folderTree) {
            specs.push_back(EntryName(parsed.positional[i]));
        } else if (platform::DirectoryExists(Path(parsed.positional[i]))) {
            PrintError(zip::FormatMsg(zip::Msg::FolderNeedsRecurse, Path(parsed.positional[i])));
            failed = true;
        } else {
            specs.push_back(Path(parsed.positional[i]));
        }
    }
    if (folderTree && specs.empty()) specs.push_back("*.*");
    if (specs.empty()) return 1;

    TZip zip;
    UseEngineFolder(zip);
    ShowProgressOnTerminal(zip);
    const std::string archive = Path(parsed.positional[0]);
    const bool existed = platform::FileExists(archive);
    zip.SetZipFileName(archive);
    RefuseUnread(zip);
    SetPasswordOption(zip, parsed);
    zip.StrongEncryption = aes;
    SetTraceOption(zip, parsed);
    if (folderTree) {
        zip.AddRootDir = Path(root->second);
        zip.AddOptions = engine::kAddRecurse | engine::kAddFolderNames;
    } else {
        zip.AddOptions = engine::kAddReplace;
    }
    zip.SetFileSpecs(specs);
    const int32_t count = zip.AddFiles();
    if (!existed) RemoveIfLeftEmpty(zip, archive);
    if (zip.Cancelled) {
        ReportSkippedFiles(zip);
        PrintLine(zip::FormatMsg(zip::Msg::AddCancelled));
        return 1;
    }
    PrintLine(zip::FormatMsg(zip::Msg::FilesAdded, zip.AddedFileCount(count)));
    // An add of empty folders alone still added entries.
    return ExitCode(zip, failed || count == 0);
}

int Extract(const Arguments& args) {
    ParsedArguments parsed;
    if (!Parse(args, {"-p", "--trace"}, {"-f", "-o"}, parsed) || parsed.positional.size() < 2) return kUsageError;
    TZip zip;
    UseEngineFolder(zip);
    ShowProgressOnTerminal(zip);
    OpenExisting(zip, Path(parsed.positional[0]));
    SetPasswordOption(zip, parsed);
    SetTraceOption(zip, parsed);
    const bool failed = ChooseEntries(zip, parsed.positional, 2);
    zip.ExtractDir = Path(parsed.positional[1]);
    // -o leaves out the age rule, so the engine replaces existing files without asking.
    const uint8_t overwrite = parsed.flags.count("-o") ? 0 : engine::kExtractByAge;
    zip.ExtractOptions = parsed.flags.count("-f") ? overwrite : overwrite | engine::kExtractFolderNames;
    const int32_t count = zip.ExtractFiles();
    std::string status = zip::FormatMsg(zip::Msg::FilesExtracted, count);
    if (zip.ErrorCount() > 0) status = zip::FormatMsg(zip::Msg::ExtractErrors, status, zip.ErrorCount());
    PrintLine(status);
    return ExitCode(zip, failed);
}

// Decodes the entries as extract does and writes nothing; every entry that is not sound is named
// with its reason (damaged, password, unsupported method).
int Test(const Arguments& args) {
    ParsedArguments parsed;
    if (!Parse(args, {"-p"}, {}, parsed) || parsed.positional.empty()) return kUsageError;
    TZip zip;
    UseEngineFolder(zip);
    ShowProgressOnTerminal(zip);
    OpenExisting(zip, Path(parsed.positional[0]));
    SetPasswordOption(zip, parsed);
    const bool failed = ChooseEntries(zip, parsed.positional, 1);
    const int32_t sound = zip.TestFiles();
    const int32_t damaged = zip.ErrorCount();
    PrintLine(damaged > 0 ? zip::FormatMsg(zip::Msg::FilesTestedDamaged, sound + damaged, damaged)
                          : zip::FormatMsg(zip::Msg::FilesTestedOk, sound));
    return ExitCode(zip, failed);
}

int Delete(const Arguments& args) {
    ParsedArguments parsed;
    if (!Parse(args, {"--trace"}, {}, parsed) || parsed.positional.size() < 2) return kUsageError;
    TZip zip;
    UseEngineFolder(zip);
    OpenExisting(zip, Path(parsed.positional[0]));
    SetTraceOption(zip, parsed);
    std::vector<std::string> specs;
    for (size_t i = 1; i < parsed.positional.size(); ++i) specs.push_back(EntryName(parsed.positional[i]));
    zip.SetFileSpecs(specs);
    const int32_t count = zip.DeleteFiles();
    PrintLine(zip::FormatMsg(zip::Msg::FilesDeleted, count));
    return ExitCode(zip, false);
}

int Strip(const Arguments& args) {
    const std::string out = Path(args.at(1));
    if (platform::FileExists(out)) return Fail(zip::FormatMsg(zip::Msg::AlreadyExists, out));
    if (!StripSfxStub(Path(args.at(0)), out)) return Fail(zip::FormatMsg(zip::Msg::StripFailed));
    return 0;
}

}  // namespace lark
