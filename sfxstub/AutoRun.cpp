// The unattended run: the same extraction as the window's, its outcome written to a log file.
#include "sfxstub/AutoRun.h"

#include <algorithm>
#include <memory>

#include "engines/common/Text.h"
#include "platform/Files.h"
#include "sfxstub/Extraction.h"
#include "abi/SfxSettings.h"

namespace sfxstub {
namespace {

bool StartsWithSwitch(const std::string& argument, const char* name, std::string& value) {
    const std::string folded = engines::FoldName(argument);
    const std::string prefix = name;
    if (folded.compare(0, prefix.size(), prefix) != 0) return false;
    value = argument.substr(prefix.size());
    return true;
}

// Lines go out as they happen, so a log of a run that ends badly still says how far it got.
class Log {
public:
    bool Open(const std::string& path) {
        if (path.empty()) return true;
        std::string error;
        stream_ = platform::FileStream::Open(path, platform::Access::Create, platform::Share::DenyWrite, error);
        return stream_ != nullptr;
    }
    void Line(const std::string& text) {
        if (!stream_) return;
        const std::string line = text + "\r\n";
        stream_->Write(line.data(), static_cast<int32_t>(line.size()));
    }

private:
    std::unique_ptr<platform::FileStream> stream_;
};

class UnattendedHost final : public ExtractionHost {
public:
    explicit UnattendedHost(Log& log) : log_(log) {}
    bool BeginFile(const std::string&, int64_t) override { return true; }
    bool Progress(size_t) override { return true; }
    // Nobody is there to ask: only the password of /p: is tried.
    bool AskPassword(const std::string&, std::string&) override { return false; }
    void FileDone(const std::string& name, Failure failure) override { log_.Line(OutcomeLine(name, failure)); }

private:
    Log& log_;
};

int Finish(Log& log, int code) {
    log.Line(FormatStubMsg(StubMsg::LogEnd, std::string(), code));
    return code;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& arguments, StubArguments& parsed) {
    parsed = StubArguments();
    for (const std::string& argument : arguments) {
        const std::string folded = engines::FoldName(argument);
        std::string value;
        if (folded == "/auto") {
            parsed.unattended = true;
        } else if (folded == "/o") {
            parsed.overwrite = true;
        } else if (StartsWithSwitch(argument, "/d:", value) && !value.empty()) {
            parsed.destination = value;
        } else if (StartsWithSwitch(argument, "/p:", value)) {
            parsed.password = value;
        } else if (StartsWithSwitch(argument, "/log:", value) && !value.empty()) {
            parsed.logFile = value;
        } else {
            return false;
        }
    }
    return true;
}

int ExitCodeOf(int failed, bool cancelled) {
    if (cancelled) return kExitBadArguments;
    return failed > 0 ? kExitFailed : kExitAllExtracted;
}

void SplitCommand(const std::string& commandLine, const std::string& destination, std::string& file,
                  std::string& parameters) {
    const std::string folder = engines::AppendBackslash(destination);
    const std::string placeholder(sfxsettings::kDestinationPlaceholder);
    std::string command;
    for (size_t at = 0; at < commandLine.size();) {
        if (commandLine.compare(at, placeholder.size(), placeholder) == 0) {
            command += folder;
            at += placeholder.size();
        } else {
            command += commandLine[at++];
        }
    }
    const size_t start = command.find_first_not_of(' ');
    file.clear();
    parameters.clear();
    if (start == std::string::npos) return;
    size_t end;
    if (command[start] == '"') {
        end = command.find('"', start + 1);
        file = command.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        end = end == std::string::npos ? command.size() : end + 1;
    } else {
        end = std::min(command.find(' ', start), command.size());
        file = command.substr(start, end - start);
    }
    const size_t rest = command.find_first_not_of(' ', end);
    if (rest != std::string::npos) parameters = command.substr(rest);
}

int RunUnattended(const std::string& programPath, int64_t imageSize, const StubArguments& arguments,
                  const std::string& defaultDestination) {
    Log log;
    if (!log.Open(arguments.logFile)) return kExitBadArguments;
    SfxArchive archive;
    switch (archive.Open(programPath, imageSize)) {
    case SfxArchive::Status::Ok:
        break;
    case SfxArchive::Status::NoArchive:
        log.Line(MsgText(StubMsg::NoArchive));
        return Finish(log, kExitFailed);
    case SfxArchive::Status::CannotOpen:
        log.Line(FormatStubMsg(StubMsg::CannotOpenSelf, archive.Error()));
        return Finish(log, kExitFailed);
    case SfxArchive::Status::Damaged:
        log.Line(FormatStubMsg(StubMsg::Damaged, archive.Error()));
        return Finish(log, kExitFailed);
    }
    ExtractRequest request;
    request.destination = arguments.destination.empty() ? defaultDestination : arguments.destination;
    request.password = arguments.password;
    request.overwrite = arguments.overwrite;
    log.Line(FormatStubMsg(StubMsg::LogStart, request.destination));
    if (!MakeDestination(request.destination)) {
        log.Line(FormatStubMsg(StubMsg::CannotMakeDestination, request.destination));
        return Finish(log, kExitFailed);
    }
    UnattendedHost host(log);
    const ExtractResult result = ExtractAll(archive, request, host);
    log.Line(FormatStubMsg(StubMsg::Summary, request.destination, result.extracted));
    return Finish(log, ExitCodeOf(result.failed, result.cancelled));
}

}  // namespace sfxstub
