// The engine libraries as the archive component sees them: loading, the command records, the callback.
#pragma once

#include <cstdint>
#include <string>

#include "abi/EngineRecords.h"

namespace engine {

class EngineOperations;

// Bit values of EngineOperations::AddOptions.
constexpr uint8_t kAddFreshen = 1;        // replace only entries that exist and are older
constexpr uint8_t kAddReplace = 2;        // add the chosen files by name, replacing entries of that name
constexpr uint8_t kAddRecurse = 4;        // descend into the folders below the root
constexpr uint8_t kAddAbsoluteSpecs = 8;  // make each spec absolute against AddRootDir first
constexpr uint8_t kAddFolderNames = 16;   // keep the folder names below the root
constexpr uint8_t kAddUpdateNewer = 64;
constexpr uint8_t kAddSystemFiles = 128;

// Bit values of EngineOperations::ExtractOptions.
constexpr uint8_t kExtractByAge = 1;      // an existing file is replaced only when it is older
constexpr uint8_t kExtractByAge2 = 2;     // the same, for the engine's other overwrite word
constexpr uint8_t kExtractFreshen = 4;    // only files that exist already
constexpr uint8_t kExtractAsk = 8;        // ask before replacing an existing file (without 1 and 2)
constexpr uint8_t kExtractFolderNames = 16;

// The process error mode while a library loads: critical errors fail, no fault box.
constexpr unsigned kLoadErrorMode = 3;
// Longest password the password question takes: it always fits the callback's text buffer.
constexpr size_t kMaxPasswordAnswer = 255;

// A reason code of action 11 in words, from the message table.
std::string SkipReasonText(uint32_t reason);

// The path a library is loaded from: the bare name, or the name in `dllDirectory`.
std::string EngineLibraryPath(const std::string& dllDirectory, const char* fileName);

// Loads the library once for the whole process and tests its version. False when it cannot be
// loaded or lacks an export; ZipException when its version is too old.
bool LoadZipDll(const std::string& dllDirectory);
bool LoadUnzDll(const std::string& dllDirectory);
// Releases both libraries, for every archive object of the process.
void UnloadDlls();
bool ZipDllLoaded();
bool UnzDllLoaded();
// The exec functions of the loaded libraries (nullptr when not loaded).
ExecFn ZipDllExec();
ExecFn UnzDllExec();

// Fill the fixed and option-derived words of zero-filled command records. Adding also makes
// AddRootDir the current directory when it names one.
void InitZipCommand(ZipCommand& command, EngineOperations& zip, bool adding);
void InitUnzipCommand(UnzipCommand& command, EngineOperations& zip);

// The function both command records name; the engine calls it with an EngineCallbackInfo block.
int32_t ENGINE_API EngineCallback(void* info);

// The engine's callback block, read and written in place at the record's offsets.
class CallbackBlock {
public:
    explicit CallbackBlock(uint8_t* block) : block_(block) {}

    uint32_t Word(size_t offset) const;
    void SetWord(size_t offset, uint32_t value);
    // The text buffer up to its first NUL (at most the whole buffer).
    std::string Text() const;
    // Writes `text` NUL-terminated, cut to fit the buffer.
    void SetText(const std::string& text);

    uint32_t Action() const { return Word(EngineCallbackInfo::kAction); }
    uint32_t Flag() const { return Word(EngineCallbackInfo::kFlag); }
    int32_t Number() const { return static_cast<int32_t>(Word(EngineCallbackInfo::kNumber)); }
    // A size or byte count: the number with its high half, which our engines send (kExtZip64).
    int64_t Bytes() const {
        return static_cast<int64_t>((static_cast<uint64_t>(Word(EngineCallbackInfo::kNumberHigh)) << 32) |
                                    Word(EngineCallbackInfo::kNumber));
    }
    void SetFlag(uint32_t value) { SetWord(EngineCallbackInfo::kFlag, value); }
    void SetNumber(int32_t value) { SetWord(EngineCallbackInfo::kNumber, static_cast<uint32_t>(value)); }

private:
    uint8_t* block_;
};

}  // namespace engine
