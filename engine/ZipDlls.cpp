// The engine libraries: process-wide loading with the version test, the command records' fixed
// words and the callback's barrier.
#include "engine/ZipDlls.h"

#include <cstring>

#include "engine/EngineOperations.h"
#include "platform/Files.h"
#include "platform/Library.h"

namespace engine {
namespace {

// One loaded library and its two entry points. Process-wide: shared by every archive object.
struct EngineLibrary {
    platform::LibraryHandle handle;
    ExecFn exec = nullptr;
    VersionFn version = nullptr;
};

EngineLibrary gZipDll;
EngineLibrary gUnzDll;

template <typename Function>
Function Export(const platform::LibraryHandle& library, const char* name) {
    return reinterpret_cast<Function>(platform::GetProcAddress(library, name));
}

bool LoadEngine(EngineLibrary& engine, const std::string& dllDirectory, const char* fileName, const char* execName,
                const char* versionName) {
    if (engine.handle) return true;
    // A missing or broken library must fail the load, not bring up a system box; the guard puts
    // the previous mode back on every way out, the version exception included.
    platform::ErrorModeGuard quiet(kLoadErrorMode);
    platform::LibraryHandle library = platform::LoadLibrary(EngineLibraryPath(dllDirectory, fileName));
    if (!library) return false;
    const auto exec = Export<ExecFn>(library, execName);
    const auto version = Export<VersionFn>(library, versionName);
    if (!exec || !version) return false;  // the handle releases the library
    if (version() < kMinEngineVersion) throw ZipException(zip::FormatMsg(zip::Msg::InvalidEngineVersion));
    engine.handle = std::move(library);
    engine.exec = exec;
    engine.version = version;
    return true;
}

void Unload(EngineLibrary& engine) {
    engine.handle.Reset();
    engine.exec = nullptr;
    engine.version = nullptr;
}

uint32_t Flag(bool value) { return value ? kTrue : 0; }

uint32_t CallbackWord() { return AddressWord(reinterpret_cast<const void*>(&EngineCallback)); }

}  // namespace

std::string SkipReasonText(uint32_t reason) {
    using zip::Msg;
    switch (reason) {
    case kSkipNotMatched: return zip::FormatMsg(Msg::ReasonNotMatched);
    case kSkipNotNewer: return zip::FormatMsg(Msg::ReasonNotNewer);
    case kSkipExcluded: return zip::FormatMsg(Msg::ReasonExcluded);
    case kSkipUnsupported: return zip::FormatMsg(Msg::ReasonUnsupported);
    case kSkipReadError: return zip::FormatMsg(Msg::ReasonReadError);
    case kSkipWriteError: return zip::FormatMsg(Msg::ReasonWriteError);
    case kSkipCrcError: return zip::FormatMsg(Msg::ReasonDamaged);
    case kSkipPassword: return zip::FormatMsg(Msg::ReasonPassword);
    case kSkipUnsafeName: return zip::FormatMsg(Msg::ReasonUnsafeName);
    case kSkipCancelled: return zip::FormatMsg(Msg::ReasonCancelled);
    default: return zip::FormatMsg(Msg::ReasonOther, static_cast<int>(reason));
    }
}

std::string EngineLibraryPath(const std::string& dllDirectory, const char* fileName) {
    return dllDirectory.empty() ? std::string(fileName) : AppendBackslash(dllDirectory) + fileName;
}

bool LoadZipDll(const std::string& dllDirectory) {
    return LoadEngine(gZipDll, dllDirectory, kZipDllName, kZipDllExecName, kGetZipDllVersionName);
}

bool LoadUnzDll(const std::string& dllDirectory) {
    return LoadEngine(gUnzDll, dllDirectory, kUnzDllName, kUnzDllExecName, kGetUnzDllVersionName);
}

void UnloadDlls() {
    Unload(gZipDll);
    Unload(gUnzDll);
}

bool ZipDllLoaded() { return gZipDll.handle.IsValid(); }
bool UnzDllLoaded() { return gUnzDll.handle.IsValid(); }
ExecFn ZipDllExec() { return gZipDll.exec; }
ExecFn UnzDllExec() { return gUnzDll.exec; }

// Names, paths and comments are UTF-8 inside the program, and our engines take them so; sizes and
// progress past 4 GiB come back whole.
constexpr uint32_t kOurExtensions = ExtensionWord(kExtUtf8 | kExtZip64);

void InitZipCommand(ZipCommand& command, EngineOperations& zip, bool adding) {
    command.SetU32(ZipCommand::kCaller, AddressWord(&zip));
    command.SetU32(ZipCommand::kVersion, kMinEngineVersion);
    command.SetU32(ZipCommand::kCallback, CallbackWord());
    command.SetU32(ZipCommand::kReportProgress, kTrue);
    command.SetU32(ZipCommand::kLevel, 9);
    command.SetU32(ZipCommand::kExtensions, kOurExtensions);
    command.SetU32(ZipCommand::kTrailer, kRecordTrailer);
    if (!adding) {
        command.SetU32(ZipCommand::kDeleting, kTrue);
        return;
    }
    command.SetU32(ZipCommand::kAdding, kTrue);
    if (!zip.AddRootDir.empty() && platform::DirectoryExists(zip.AddRootDir) &&
        !platform::SetCurrentDirectory(zip.AddRootDir))
        throw platform::FileError(zip::FormatMsg(zip::Msg::CannotChangeDirectory, zip.AddRootDir));

    const uint8_t options = zip.AddOptions;
    if (options & kAddReplace)
        command.SetU32(ZipCommand::kReplace, kTrue);
    else
        command.SetU32(ZipCommand::kFreshen, Flag(options & kAddFreshen));
    command.SetU32(ZipCommand::kUpdateNewer, Flag(options & kAddUpdateNewer));
    command.SetU32(ZipCommand::kSystemFiles, Flag(options & kAddSystemFiles));
    command.SetU32(ZipCommand::kPasswordFlag, Flag(!zip.Password().empty()));
    const bool recurse = (options & kAddRecurse) != 0;
    command.SetU16(ZipCommand::kRecurse, recurse ? kTrue16 : 0);
    command.SetU32(ZipCommand::kNoFolderEntries, Flag(!recurse && !(options & kAddAbsoluteSpecs)));
    command.SetU32(ZipCommand::kJunkFolders, Flag(!(options & kAddFolderNames)));
}

void InitUnzipCommand(UnzipCommand& command, EngineOperations& zip) {
    command.SetU32(UnzipCommand::kCaller, AddressWord(&zip));
    command.SetU32(UnzipCommand::kVersion, kMinEngineVersion);
    command.SetU32(UnzipCommand::kCallback, CallbackWord());
    command.SetU32(UnzipCommand::kTraceFlag, 0);
    command.SetU32(UnzipCommand::kTestCrc, kTrue);
    const uint8_t options = zip.ExtractOptions;
    // At most one of the three overwrite words is set, the lowest bit value winning.
    if (options & kExtractByAge)
        command.SetU32(UnzipCommand::kAskOverwrite, kTrue);
    else if (options & kExtractByAge2)
        command.SetU32(UnzipCommand::kAskOverwrite2, kTrue);
    else if (options & kExtractFreshen)
        command.SetU32(UnzipCommand::kFreshenOnly, kTrue);
    command.SetU32(UnzipCommand::kUseFolders, Flag(options & kExtractFolderNames));
    command.SetU32(UnzipCommand::kOverwriteAll,
                   Flag(!(options & (kExtractByAge | kExtractByAge2 | kExtractFreshen))));
    command.SetU32(UnzipCommand::kPasswordAttempts, kPasswordAttempts);
    command.SetU32(UnzipCommand::kExtensions, kOurExtensions);
    command.SetU32(UnzipCommand::kTrailer, kRecordTrailer);
}

// The barrier between the engine's frames and ours: an exception cannot unwind through them, so it
// is handed to the object that started the call, which cancels the call and rethrows it afterwards.
int32_t ENGINE_API EngineCallback(void* info) {
    if (!info) return 0;
    CallbackBlock block(static_cast<uint8_t*>(info));
    EngineOperations* zip = WordAddress<EngineOperations>(block.Word(EngineCallbackInfo::kCaller));
    if (!zip) return 0;
    try {
        return zip->HandleEngineCallback(block);
    } catch (...) {
        zip->EngineCallbackFailed(std::current_exception());
        return -1;
    }
}

uint32_t CallbackBlock::Word(size_t offset) const {
    uint8_t bytes[4];
    std::memcpy(bytes, block_ + offset, sizeof bytes);
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void CallbackBlock::SetWord(size_t offset, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    std::memcpy(block_ + offset, bytes, sizeof bytes);
}

std::string CallbackBlock::Text() const {
    const auto* text = reinterpret_cast<const char*>(block_ + EngineCallbackInfo::kText);
    const void* end = std::memchr(text, '\0', kCallbackTextSize);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : kCallbackTextSize;
    return std::string(text, length);
}

void CallbackBlock::SetText(const std::string& text) {
    const size_t length = text.size() < kCallbackTextSize ? text.size() : kCallbackTextSize - 1;
    std::memcpy(block_ + EngineCallbackInfo::kText, text.data(), length);
    block_[EngineCallbackInfo::kText + length] = 0;
}

}  // namespace engine
