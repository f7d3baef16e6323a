// The engine bridge's operations on an archive: add, delete and extract through the engine
// libraries, with the callback's bookkeeping, questions and progress window.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "engine/EngineSession.h"
#include "engine/ProgressForm.h"

// A file an engine did not add, delete or extract: the name it reported, the reason code of its
// action 11, and the engine's words for the reason (empty when it gave none).
struct TSkippedFile {
    std::string Name;
    uint32_t Reason = 0;
    std::string Detail;
};

namespace engine {

class CallbackBlock;

// The events' byte counts are 32-bit: a size or a batch past them is given as the largest they hold.
inline int32_t EventBytes(int64_t bytes) { return static_cast<int32_t>(bytes < 0 ? 0 : bytes > INT32_MAX ? INT32_MAX : bytes); }

class EngineOperations : public zip::Archive {
public:
    EngineOperations() = default;
    // The engine libraries are process-wide; releasing them here releases them for every archive
    // object, and the next operation loads them again.
    ~EngineOperations() override;

    bool ShowProgressDialog = true;
    // Who builds the progress window of the engine calls; each archive object holds its own, the
    // window that shows nothing until it is given another.
    void SetProgressFormFactory(ProgressFormFactory factory);
    std::string DllDirectory;
    std::string AddRootDir;
    uint8_t AddOptions = 2;
    std::string ExtractDir;
    uint8_t ExtractOptions = 1;
    bool TraceEnabled = false;
    // Where the trace goes while TraceEnabled is set; empty: TraceFileName().
    std::string TracePath;
    bool Cancelled = false;

    // The engine operations. Each takes its work from FileSpecs and returns the engine's file
    // count; a refusal (no archive, no specs, a multi-disk set, a missing folder, another operation
    // still running) is shown in an information box and returns 0.
    int32_t AddFiles();
    // The files among the entries an add wrote: the user counts files, not folder entries.
    int32_t AddedFileCount(int32_t entriesAdded) const {
        return entriesAdded > BatchFolderCount ? entriesAdded - BatchFolderCount : 0;
    }
    int32_t DeleteFiles();
    int32_t ExtractFiles();
    int32_t RunZipDll(bool adding);

    // Strong encryption and testing. Adding with a password encrypts with AES-256 while
    // StrongEncryption is set. TestFiles decodes the entries FileSpecs selects as ExtractFiles
    // does, writes nothing, and returns the count found sound; the others are in SkippedFiles().
    bool StrongEncryption = false;
    int32_t TestFiles();

    // True while this object waits in an engine call. The engine's callback pumps window messages,
    // so window commands still run then: they must check Busy() and leave this object alone (its
    // specs, counters, window and trace file belong to the running call). The three operations
    // above refuse to start while it is set.
    bool Busy() const { return session_.busy; }
    // True when the last operation was refused by a precondition (its box was shown, it returned 0).
    bool Refused() const { return refused_; }
    // Every file the last engine call reported as not processed (action 11), in its order.
    const std::vector<TSkippedFile>& SkippedFiles() const { return skippedFiles_; }
    // Files the last engine batch counted as failed.
    int32_t ErrorCount() const { return errorCount_; }

    // One callback of the engine call this object started (called by engine::EngineCallback).
    int32_t HandleEngineCallback(CallbackBlock& info);
    // An exception caught at the callback's barrier: the call is cancelled and the exception
    // rethrown once the engine has returned.
    void EngineCallbackFailed(std::exception_ptr failure);

    // Callback state of the current (or last) engine batch.
    std::string CurrentFileName;
    int32_t BatchFileCount = 0;
    int64_t BatchTotalBytes = 0;
    int64_t BatchBytesDone = 0;
    int32_t BatchSkippedCount = 0;
    int32_t BatchFolderCount = 0;  // folder entries begun: the engine's add count includes them
    float ProgressScale = 0.0f;  // batch bytes to the progress range 0..65535
    TProgressForm* ProgressForm() const { return session_.progressForm.get(); }
    platform::FileStream* TraceStream() const { return session_.traceStream.get(); }
    // The engines' trace file: the program's path with the extension ".trace".
    static std::string TraceFileName();

protected:
    // The callback's events, for the facade to raise with itself as the sender.
    virtual void BeginFileEvent(const std::string& /*fileName*/, int32_t /*fileSize*/) {}
    virtual void ProgressEvent(const std::string& /*fileName*/, int32_t /*increment*/) {}
    virtual void EndBatchEvent() {}

private:
    bool RefusedWhileBusy();
    bool RefusedByPrecondition();
    void Refuse(zip::Msg message);
    int32_t CallEngine(const std::function<int32_t()>& exec, bool withWindow, bool paintFirst);
    int32_t RunUnzDll(bool testOnly);
    bool RestoreBackup(const std::string& backup);
    void DispatchCallback(CallbackBlock& info);
    void OnBeginFile(CallbackBlock& info);
    void OnProgress(CallbackBlock& info);
    void OnEndBatch();
    void OnTraceLine(CallbackBlock& info);
    void OnBatchBytes(CallbackBlock& info);
    void OnSkipped(CallbackBlock& info);
    void AskPassword(CallbackBlock& info);
    void AskCrcError(CallbackBlock& info);
    void AskOverwrite(CallbackBlock& info);
    TProgressForm* ShownWindow() const;

    // What the last operation left for its caller to read.
    bool refused_ = false;
    std::vector<TSkippedFile> skippedFiles_;
    int32_t errorCount_ = 0;
    // What lives only while this object calls an engine.
    EngineSession session_;
};

}  // namespace engine
