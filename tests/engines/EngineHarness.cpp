// The engine test harness: library loading, command records and the recording callback.
#include "tests/engines/EngineHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/Files.h"

namespace larktest {
namespace {

using engine::EngineCallbackInfo;
using engine::UnzipCommand;
using engine::UnzipSpecEntry;
using engine::ZipCommand;
using engine::ZipSpecEntry;

template <typename T>
T Export(const platform::LibraryHandle& library, const char* name) {
    return reinterpret_cast<T>(platform::GetProcAddress(library, name));
}

uint32_t Word(const std::string& text) { return engine::AddressWord(text.c_str()); }
uint32_t TrueIf(bool condition) { return condition ? engine::kTrue : 0; }

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::vector<Call> RecordingCallback::Of(uint32_t action) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
        if (call.action == action) found.push_back(call);
    }
    return found;
}

std::vector<uint32_t> RecordingCallback::Reasons() const {
    std::vector<uint32_t> reasons;
    for (const Call& call : Of(engine::kActionSkipped)) reasons.push_back(call.number);
    return reasons;
}

int32_t ENGINE_API RecordingCallback::Trampoline(void* info) {
    uint8_t* bytes = static_cast<uint8_t*>(info);
    uint32_t caller = 0;
    std::memcpy(&caller, bytes + EngineCallbackInfo::kCaller, 4);
    return engine::WordAddress<RecordingCallback>(caller)->Answer(bytes);
}

// Works on the engine's block in place, as the component does.
int32_t RecordingCallback::Answer(uint8_t* info) {
    const auto get = [&](size_t offset) {
        uint32_t value = 0;
        std::memcpy(&value, info + offset, 4);
        return value;
    };
    const auto set = [&](size_t offset, uint32_t value) { std::memcpy(info + offset, &value, 4); };
    char* text = reinterpret_cast<char*>(info + EngineCallbackInfo::kText);
    const Call call{get(EngineCallbackInfo::kAction), get(EngineCallbackInfo::kNumber), get(EngineCallbackInfo::kFlag),
                    std::string(text, strnlen(text, engine::kCallbackTextSize))};
    calls.push_back(call);
    if (call.action == engine::kActionPassword) {
        const bool given = !passwords.empty();
        const std::string answer = given ? passwords.front() : "";
        if (given) passwords.pop_front();
        std::memset(text, 0, engine::kCallbackTextSize);
        std::memcpy(text, answer.data(), answer.size());
        set(EngineCallbackInfo::kFlag, given ? 1 : 0);
        set(EngineCallbackInfo::kNumber, given && call.number > 0 ? call.number - 1 : 0);
    } else if (call.action == engine::kActionCrcError) {
        set(EngineCallbackInfo::kFlag, !keepCorrupt.empty() && keepCorrupt.front() ? 1 : 0);
        if (!keepCorrupt.empty()) keepCorrupt.pop_front();
    } else if (call.action == engine::kActionOverwrite) {
        set(EngineCallbackInfo::kNumber, !overwrite.empty() && overwrite.front() ? 1 : 0);
        if (!overwrite.empty()) overwrite.pop_front();
    }
    if (cancelOnAction >= 0 && call.action == cancelOnAction && --cancelOnOccurrence <= 0) {
        cancelOnAction = -1;
        return -1;
    }
    return 0;
}

Engines& Engines::Get() {
    static Engines engines;
    return engines;
}

Engines::Engines()
    : zip_(platform::LoadLibrary(engine::kZipDllName)), unz_(platform::LoadLibrary(engine::kUnzDllName)) {
    zipExec_ = Export<engine::ExecFn>(zip_, engine::kZipDllExecName);
    zipVersion_ = Export<engine::VersionFn>(zip_, engine::kGetZipDllVersionName);
    unzExec_ = Export<engine::ExecFn>(unz_, engine::kUnzDllExecName);
    unzVersion_ = Export<engine::VersionFn>(unz_, engine::kGetUnzDllVersionName);
}

int32_t Engines::Zip(const ZipJob& job, RecordingCallback& callback) const { return RunZip(zipExec_, job, callback); }

int32_t Engines::Unzip(const UnzipJob& job, RecordingCallback& callback) const {
    return RunUnzip(unzExec_, job, callback);
}

// The words as the component fills them for its add and delete operations.
int32_t RunZip(engine::ExecFn exec, const ZipJob& job, RecordingCallback& callback) {
    ZipCommand command;
    const uint8_t options = job.addOptions;
    command.SetU32(ZipCommand::kCaller, engine::AddressWord(&callback));
    command.SetU32(ZipCommand::kVersion, engine::kMinEngineVersion);
    command.SetU32(ZipCommand::kCallback, engine::AddressWord(reinterpret_cast<void*>(&RecordingCallback::Trampoline)));
    command.SetU32(ZipCommand::kReportProgress, engine::kTrue);
    command.SetU32(ZipCommand::kLevel, job.level);
    command.SetU32(ZipCommand::kTraceFlag, TrueIf(job.trace));
    command.SetU32(ZipCommand::kExtensions, job.extensions);
    command.SetU32(ZipCommand::kTrailer, engine::kRecordTrailer);
    const bool encrypt = !job.deleting && !job.password.empty();
    if (job.deleting) {
        command.SetU32(ZipCommand::kDeleting, engine::kTrue);
    } else {
        command.SetU32(ZipCommand::kAdding, engine::kTrue);
        command.SetU32(ZipCommand::kReplace, TrueIf(options & 2));
        command.SetU32(ZipCommand::kFreshen, TrueIf((options & 1) && !(options & 2)));
        command.SetU32(ZipCommand::kUpdateNewer, TrueIf(options & 64));
        command.SetU32(ZipCommand::kSystemFiles, TrueIf(options & 128));
        command.SetU32(ZipCommand::kPasswordFlag, TrueIf(encrypt));
        command.SetU16(ZipCommand::kRecurse, (options & 4) ? engine::kTrue16 : 0);
        command.SetU32(ZipCommand::kNoFolderEntries, TrueIf(job.noFolderEntries || (!(options & 4) && !(options & 8))));
        command.SetU32(ZipCommand::kJunkFolders, TrueIf(!(options & 16)));
        if (encrypt) command.SetU32(ZipCommand::kPassword, Word(job.password));
        if (job.strongEncryption)
            command.SetU32(ZipCommand::kExtensions, engine::ExtensionWord(engine::ExtensionBits(job.extensions) |
                                                                           engine::kExtStrongEncryption));
    }
    command.SetU32(ZipCommand::kZipFileName, Word(job.archive));
    command.SetU32(ZipCommand::kTempDir, Word(job.tempDir));
    if (!job.comment.empty()) command.SetU32(ZipCommand::kComment, Word(job.comment));
    const std::string rootDir = job.deleting ? std::string() : job.rootDir;
    std::vector<uint8_t> specs(job.specs.size() * ZipSpecEntry::kSize);
    for (size_t i = 0; i < job.specs.size(); ++i) {
        ZipSpecEntry entry;
        entry.SetU32(ZipSpecEntry::kSpec, Word(job.specs[i]));
        entry.SetU32(ZipSpecEntry::kPassword, command.U32(ZipCommand::kPassword));
        entry.SetU32(ZipSpecEntry::kPasswordFlag, command.U32(ZipCommand::kPasswordFlag));
        entry.SetU16(ZipSpecEntry::kRecurse, command.U16(ZipCommand::kRecurse));
        entry.SetU32(ZipSpecEntry::kRootDir, Word(rootDir));
        std::memcpy(specs.data() + i * ZipSpecEntry::kSize, entry.data(), ZipSpecEntry::kSize);
    }
    command.SetU32(ZipCommand::kSpecCount, static_cast<uint32_t>(job.specs.size()));
    command.SetU32(ZipCommand::kSpecs, specs.empty() ? 0 : engine::AddressWord(specs.data()));
    return exec(command.data());
}

int32_t RunUnzip(engine::ExecFn exec, const UnzipJob& job, RecordingCallback& callback) {
    UnzipCommand command;
    const uint8_t options = job.extractOptions;
    command.SetU32(UnzipCommand::kCaller, engine::AddressWord(&callback));
    command.SetU32(UnzipCommand::kVersion, engine::kMinEngineVersion);
    command.SetU32(UnzipCommand::kCallback,
                   engine::AddressWord(reinterpret_cast<void*>(&RecordingCallback::Trampoline)));
    command.SetU32(UnzipCommand::kTestCrc, engine::kTrue);
    command.SetU32(UnzipCommand::kAskOverwrite, TrueIf(options & 1));
    command.SetU32(UnzipCommand::kAskOverwrite2, TrueIf((options & 2) && !(options & 1)));
    command.SetU32(UnzipCommand::kFreshenOnly, TrueIf((options & 4) && !(options & 3)));
    command.SetU32(UnzipCommand::kUseFolders, TrueIf(options & 16));
    command.SetU32(UnzipCommand::kOverwriteAll, TrueIf(!(options & 7)));
    command.SetU32(UnzipCommand::kPasswordAttempts, engine::kPasswordAttempts);
    command.SetU32(UnzipCommand::kExtensions, job.extensions);
    command.SetU32(UnzipCommand::kTrailer, engine::kRecordTrailer);
    command.SetU32(UnzipCommand::kZipFileName, Word(job.archive));
    command.SetU32(UnzipCommand::kDestination, Word(job.destination));
    if (!job.password.empty()) command.SetU32(UnzipCommand::kPassword, Word(job.password));
    if (job.testOnly)
        command.SetU32(UnzipCommand::kExtensions,
                       engine::ExtensionWord(engine::ExtensionBits(job.extensions) | engine::kExtTestOnly));
    std::vector<uint8_t> specs(job.specs.size() * UnzipSpecEntry::kSize);
    for (size_t i = 0; i < job.specs.size(); ++i) {
        UnzipSpecEntry entry;
        entry.SetU32(UnzipSpecEntry::kSpec, Word(job.specs[i]));
        std::memcpy(specs.data() + i * UnzipSpecEntry::kSize, entry.data(), UnzipSpecEntry::kSize);
    }
    command.SetU32(UnzipCommand::kSpecCount, static_cast<uint32_t>(job.specs.size()));
    command.SetU32(UnzipCommand::kSpecs, specs.empty() ? 0 : engine::AddressWord(specs.data()));
    return exec(command.data());
}

std::string PeerArchives() { return FromEnvironment("LARK_PEER_ARCHIVES"); }
std::string PeerVerdicts() { return FromEnvironment("LARK_PEER_VERDICTS"); }

std::string ReadFile(const std::string& path) {
    platform::FileStream file(path, platform::Access::Read);
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    bytes.resize(static_cast<size_t>(std::max(0, file.Read(bytes.data(), static_cast<int32_t>(bytes.size())))));
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    platform::FileStream file(path, platform::Access::Create);
    ASSERT_EQ(file.Write(bytes.data(), static_cast<int32_t>(bytes.size())), static_cast<int32_t>(bytes.size())) << path;
}

std::map<std::string, std::string> ReadTree(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const platform::FileDetails& item : platform::ListDirectory(folder)) {
        const std::string path = folder + "\\" + item.name;
        if (item.IsDirectory()) {
            for (const auto& [name, bytes] : ReadTree(path)) files[item.name + "/" + name] = bytes;
        } else {
            files[item.name] = ReadFile(path);
        }
    }
    return files;
}

void ExportForPeers(const std::string& archive, const std::string& asName,
                    const std::map<std::string, std::string>& files) {
    const std::string out = PeerVerdicts();
    if (out.empty()) return;
    platform::CreateDirectory(out);
    ASSERT_TRUE(platform::CopyFile(archive, out + "\\" + asName + ".zip", false));
    const std::string expected = out + "\\" + asName + ".files";
    platform::CreateDirectory(expected);
    for (const auto& [name, bytes] : files) {
        for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
            platform::CreateDirectory(expected + "\\" + name.substr(0, slash));
        }
        std::string file = expected + "\\" + name;
        for (char& c : file) {
            if (c == '/') c = '\\';
        }
        WriteFile(file, bytes);
    }
}

std::string EmptyArchive() {
    std::string end(22, '\0');
    end[0] = 'P', end[1] = 'K', end[2] = 5, end[3] = 6;
    return end;
}

}  // namespace larktest
