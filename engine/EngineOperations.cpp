// The engine operations: add, delete and extract through the engine libraries, the trace file,
// and the callback's bookkeeping, events and questions.
#include "engine/EngineOperations.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/ZipDlls.h"
#include "platform/Files.h"
#include "platform/User.h"
#include "archive/DiskUtils.h"

using engine::CallbackBlock;
using engine::EngineOperations;
using engine::UnzipCommand;
using engine::UnzipSpecEntry;
using engine::ZipCommand;
using engine::ZipSpecEntry;
using zip::FormatMsg;
using zip::Msg;

static_assert(sizeof(ZipSpecEntry) == ZipSpecEntry::kSize, "spec entries lie back to back in one array");
static_assert(sizeof(UnzipSpecEntry) == UnzipSpecEntry::kSize, "spec entries lie back to back in one array");

namespace {

constexpr int32_t kProgressRange = 65535;
constexpr const char* kTraceExtension = ".trace";
constexpr const char* kLineEnd = "\r\n";

// One add or delete call: the command record, its spec array and every text they point to. The
// texts are copies, so nothing the records name can move while the engine runs.
struct ZipCall {
    ZipCommand command;
    std::vector<ZipSpecEntry> specs;
    std::vector<std::string> specTexts;
    std::string zipFileName;
    std::string tempDir;
    std::string comment;
    std::string password;
    std::string rootDir;
};

struct UnzipCall {
    UnzipCommand command;
    std::vector<UnzipSpecEntry> specs;
    std::vector<std::string> specTexts;
    std::string zipFileName;
    std::string destination;
    std::string password;
};

uint32_t TextWord(const std::string& text) { return engine::AddressWord(text.c_str()); }

void Inform(const std::string& text) {
    platform::CurrentUser().MessageBox(text, zip::kApplicationTitle, platform::kMbOk | platform::kMbIconInformation);
}

int Ask(const std::string& text, unsigned flags) {
    return platform::CurrentUser().MessageBox(text, zip::kApplicationTitle, flags);
}

std::string QuotedName(const char* fileName) { return "\"" + std::string(fileName) + "\"."; }

// Sets extension bits of a command record, keeping those already set.
template <typename Command>
void AddExtensions(Command& command, uint32_t bits) {
    const uint32_t kept = engine::ExtensionBits(command.U32(Command::kExtensions));
    command.SetU32(Command::kExtensions, engine::ExtensionWord(kept | bits));
}

void ChangeDirectory(const std::string& path) {
    if (!platform::SetCurrentDirectory(path))
        throw platform::FileError(FormatMsg(Msg::CannotChangeDirectory, path));
}

int64_t FileSizeOf(const std::string& path) {
    platform::FileStream file(path, platform::Access::Read, platform::Share::DenyNone);
    return file.Size();
}

// A copy that is known to be whole: copied without error and of the source's size.
bool CopyWhole(const std::string& from, const std::string& to) {
    if (!platform::CopyFile(from, to, false)) return false;
    try {
        return FileSizeOf(from) == FileSizeOf(to);
    } catch (const platform::FileError&) {
        return false;
    }
}

// Sets a flag for its lifetime.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

// Empties an owner on every way out.
template <typename Owner>
class ResetScope {
public:
    explicit ResetScope(Owner& owner) : owner_(owner) {}
    ~ResetScope() { owner_.reset(); }
    ResetScope(const ResetScope&) = delete;
    ResetScope& operator=(const ResetScope&) = delete;

private:
    Owner& owner_;
};

// A question to the user: the progress window is hidden while it is asked and shown again after,
// unless the answer cancelled the operation.
class QuestionScope {
public:
    QuestionScope(TProgressForm* window, const bool& cancelled) : window_(window), cancelled_(cancelled) {
        if (window_) window_->Hide();
    }
    ~QuestionScope() {
        if (window_ && !cancelled_) window_->Show();
    }
    QuestionScope(const QuestionScope&) = delete;
    QuestionScope& operator=(const QuestionScope&) = delete;

private:
    TProgressForm* window_;
    const bool& cancelled_;
};

// The backup copy of an add: deleted on every way out unless it is all that is left of the archive.
class BackupFile {
public:
    BackupFile() : path_(MakeTempFileName()) {}
    ~BackupFile() {
        if (!path_.empty() && !keep_) platform::DeleteFile(path_);
    }
    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;

    const std::string& Path() const { return path_; }
    void Keep() { keep_ = true; }

private:
    std::string path_;
    bool keep_ = false;
};

}  // namespace

EngineOperations::~EngineOperations() { engine::UnloadDlls(); }

void EngineOperations::SetProgressFormFactory(ProgressFormFactory factory) {
    session_.makeProgressForm = factory ? std::move(factory) : MakeNullProgressForm;
}

std::string EngineOperations::TraceFileName() { return ChangeFileExt(platform::ModuleFileName(), kTraceExtension); }

// ---------------------------------------------------------------------------------------------
// Preconditions

void EngineOperations::Refuse(Msg message) {
    refused_ = true;
    Inform(FormatMsg(message));
}

// Refusing leaves the state of the running call alone, its Refused() included.
bool EngineOperations::RefusedWhileBusy() {
    if (!Busy()) return false;
    Inform(FormatMsg(Msg::OperationRunning));
    return true;
}

bool EngineOperations::RefusedByPrecondition() {
    Msg refusal;
    if (ZipFileName().empty())
        refusal = Msg::NoZipFileOpen;
    else if (FileSpecs().empty())
        refusal = Msg::NoFilesSelected;
    else if (EndOfCentral().EndRecord.ThisDisk() > 0)
        refusal = Msg::MultiDiskNotAllowed;
    else
        return false;
    Refuse(refusal);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The operations

// The archive is copied first; a cancelled add puts the copy back. Without a whole copy there is
// nothing to put back, so the add does not start.
int32_t EngineOperations::AddFiles() {
    if (RefusedWhileBusy()) return 0;
    struct ClearRootDir {
        EngineOperations& zip;
        ~ClearRootDir() { zip.AddRootDir.clear(); }
    } clearRootDir{*this};
    refused_ = false;
    if (RefusedByPrecondition()) return 0;

    BackupFile backup;
    if (backup.Path().empty() || !CopyWhole(ZipFileName(), backup.Path()))
        throw ZipException(FormatMsg(Msg::BackupFailed, ZipFileName()));
    // A copy that cannot be put back whole is all that is left of the archive: it is kept, and the
    // error says where it is.
    const auto putBackOrKeep = [&] {
        if (RestoreBackup(backup.Path())) return;
        backup.Keep();
        throw ZipException(FormatMsg(Msg::RestoreFailed, ZipFileName(), backup.Path()));
    };
    engine::EngineSession& session = session_;
    session.engineCalled = false;
    int32_t count = 0;
    try {
        FlagScope withBackup(session.addWithBackup);
        count = RunZipDll(true);
    } catch (...) {
        // A failure inside the call cancelled it; the archive goes back as for any Cancel.
        if (session.engineCalled && Cancelled) putBackOrKeep();
        throw;
    }
    if (Cancelled) putBackOrKeep();
    return count;
}

// After the copy is back the list is read again, so it shows what is on disk. False when the copy
// could not be put back whole.
bool EngineOperations::RestoreBackup(const std::string& backup) {
    if (!CopyWhole(backup, ZipFileName())) return false;
    ReadDirectory();
    ContentsChanged();
    return true;
}

int32_t EngineOperations::DeleteFiles() { return RunZipDll(false); }

int32_t EngineOperations::RunZipDll(bool adding) {
    if (RefusedWhileBusy()) return 0;
    refused_ = false;
    if (RefusedByPrecondition()) return 0;
    if (!engine::LoadZipDll(DllDirectory))
        throw ZipException(FormatMsg(Msg::UnableToLoad, QuotedName(engine::kZipDllName)));
    ZipCall call;
    call.rootDir = adding && !AddRootDir.empty() ? AppendBackslash(AddRootDir) : std::string();
    Cancelled = false;
    BatchFolderCount = 0;

    ZipCommand& command = call.command;
    engine::InitZipCommand(command, *this, adding);
    command.SetU32(ZipCommand::kTraceFlag, TraceEnabled ? engine::kTrue : 0);
    call.zipFileName = ZipFileName();
    call.tempDir = TempDir();
    call.comment = GetZipComment();
    command.SetU32(ZipCommand::kZipFileName, TextWord(call.zipFileName));
    command.SetU32(ZipCommand::kTempDir, TextWord(call.tempDir));
    if (!call.comment.empty()) command.SetU32(ZipCommand::kComment, TextWord(call.comment));
    call.password = Password();
    if (adding && !call.password.empty()) command.SetU32(ZipCommand::kPassword, TextWord(call.password));
    if (adding && !call.password.empty() && StrongEncryption)
        AddExtensions(command, engine::kExtStrongEncryption);

    const size_t count = FileSpecs().size();
    command.SetU32(ZipCommand::kSpecCount, static_cast<uint32_t>(count));
    call.specs.resize(count);
    call.specTexts.resize(count);
    command.SetU32(ZipCommand::kSpecs, engine::AddressWord(call.specs.data()));
    for (size_t i = 0; i < count; ++i) {
        if (adding && (AddOptions & engine::kAddAbsoluteSpecs))
            FileSpecs()[i] = MakeAbsolutePath(AddRootDir, FileSpecs()[i]);
        call.specTexts[i] = FileSpecs()[i];
        ZipSpecEntry& entry = call.specs[i];
        entry.SetU32(ZipSpecEntry::kSpec, TextWord(call.specTexts[i]));
        entry.SetU32(ZipSpecEntry::kPassword, command.U32(ZipCommand::kPassword));
        entry.SetU32(ZipSpecEntry::kPasswordFlag, command.U32(ZipCommand::kPasswordFlag));
        entry.SetU16(ZipSpecEntry::kRecurse, command.U16(ZipCommand::kRecurse));
        entry.SetU32(ZipSpecEntry::kRootDir, TextWord(call.rootDir));
    }

    // Deleting never shows the window.
    const engine::ExecFn exec = engine::ZipDllExec();
    const int32_t processed = CallEngine([&] { return exec(command.data()); }, ShowProgressDialog && adding, false);
    FileSpecs().clear();
    // After a cancelled add the engine's result is not read: the backup is put back and read instead.
    if (processed > 0 && !(adding && session_.addWithBackup && Cancelled)) {
        ReadDirectory();
        ContentsChanged();
    }
    return processed;
}

int32_t EngineOperations::ExtractFiles() { return RunUnzDll(false); }

int32_t EngineOperations::TestFiles() { return RunUnzDll(true); }

// Testing writes nothing, so it needs no destination folder.
int32_t EngineOperations::RunUnzDll(bool testOnly) {
    if (RefusedWhileBusy()) return 0;
    Cancelled = false;
    refused_ = false;
    if (Count() == 0) return 0;
    if (EndOfCentral().EndRecord.ThisDisk() > 0) {
        Refuse(Msg::MultiDiskNotAllowed);
        return 0;
    }
    if (!testOnly && !ExtractDir.empty() && !platform::DirectoryExists(ExtractDir)) {
        refused_ = true;
        Inform(FormatMsg(Msg::ExtractDirMissing, ExtractDir));
        return 0;
    }
    if (!engine::LoadUnzDll(DllDirectory))
        throw ZipException(FormatMsg(Msg::UnableToLoad, QuotedName(engine::kUnzDllName)));

    UnzipCall call;
    if (!testOnly) {
        call.destination = ExtractDir.empty() ? ExtractFilePath(ZipFileName()) : AppendBackslash(ExtractDir);
        ChangeDirectory(call.destination);
    }

    UnzipCommand& command = call.command;
    engine::InitUnzipCommand(command, *this);
    call.zipFileName = ZipFileName();
    call.password = Password();
    command.SetU32(UnzipCommand::kZipFileName, TextWord(call.zipFileName));
    command.SetU32(UnzipCommand::kDestination, TextWord(call.destination));
    if (!call.password.empty()) command.SetU32(UnzipCommand::kPassword, TextWord(call.password));
    if (testOnly) AddExtensions(command, engine::kExtTestOnly);

    const size_t count = FileSpecs().size();
    command.SetU32(UnzipCommand::kSpecCount, static_cast<uint32_t>(count));
    call.specs.resize(count);
    call.specTexts = FileSpecs();
    if (count > 0) command.SetU32(UnzipCommand::kSpecs, engine::AddressWord(call.specs.data()));
    for (size_t i = 0; i < count; ++i) call.specs[i].SetU32(UnzipSpecEntry::kSpec, TextWord(call.specTexts[i]));

    const engine::ExecFn exec = engine::UnzDllExec();
    const int32_t extracted = CallEngine([&] { return exec(command.data()); }, ShowProgressDialog, true);
    FileSpecs().clear();
    return extracted;
}

// The engine call with what lives only during it: the busy mark, the trace file and the progress
// window, each released on every way out.
int32_t EngineOperations::CallEngine(const std::function<int32_t()>& exec, bool withWindow, bool paintFirst) {
    engine::EngineSession& session = session_;
    FlagScope busy(session.busy);
    session.callbackFailure = nullptr;
    skippedFiles_.clear();
    session.lastMessage.clear();
    ResetScope<std::unique_ptr<platform::FileStream>> closeTrace(session.traceStream);
    session.traceStream.reset();
    if (TraceEnabled) {
        session.traceStream = std::make_unique<platform::FileStream>(TracePath.empty() ? TraceFileName() : TracePath,
                                                                     platform::Access::Create,
                                                                     platform::Share::DenyWrite);
    }
    int32_t result = 0;
    {
        ResetScope<std::unique_ptr<TProgressForm>> freeWindow(session.progressForm);
        if (withWindow) {
            session.progressForm = session.makeProgressForm(*this);
            session.progressForm->Show();
            if (paintFirst) platform::CurrentUser().ProcessMessages();
        }
        session.engineCalled = true;
        result = exec();
    }
    if (session.callbackFailure) std::rethrow_exception(std::exchange(session.callbackFailure, nullptr));
    // Counts are never negative; a word with the top bit set is not a count.
    if (result < 0) throw ZipException(FormatMsg(Msg::RangeCheckError));
    return result;
}

// ---------------------------------------------------------------------------------------------
// The callback

int32_t EngineOperations::HandleEngineCallback(CallbackBlock& info) {
    if (!Cancelled) DispatchCallback(info);
    const int32_t result = Cancelled ? -1 : 0;
    // The Cancel button and repainting work through this; a click here counts at the next callback.
    platform::CurrentUser().ProcessMessages();
    return result;
}

void EngineOperations::EngineCallbackFailed(std::exception_ptr failure) {
    engine::EngineSession& session = session_;
    if (!session.callbackFailure) session.callbackFailure = failure;
    Cancelled = true;
}

void EngineOperations::DispatchCallback(CallbackBlock& info) {
    // A message line right before an action 11 is the engine's reason for it.
    if (info.Action() != engine::kActionSkipped) session_.lastMessage.clear();
    switch (info.Action()) {
    case engine::kActionBeginFile: OnBeginFile(info); break;
    case engine::kActionProgress: OnProgress(info); break;
    case engine::kActionEndBatch: OnEndBatch(); break;
    case engine::kActionMessage: OnTraceLine(info); break;
    case engine::kActionBatchFiles: BatchFileCount = info.Number(); break;
    case engine::kActionBatchBytes: OnBatchBytes(info); break;
    case engine::kActionPassword: AskPassword(info); break;
    case engine::kActionCrcError: AskCrcError(info); break;
    case engine::kActionOverwrite: AskOverwrite(info); break;
    case engine::kActionSkipped: OnSkipped(info); break;
    default: break;  // nothing to do, or a code this side does not know
    }
}

TProgressForm* EngineOperations::ShownWindow() const { return ShowProgressDialog ? ProgressForm() : nullptr; }

void EngineOperations::OnBeginFile(CallbackBlock& info) {
    CurrentFileName = info.Text();
    if (!CurrentFileName.empty() && CurrentFileName.back() == '\\') ++BatchFolderCount;
    BeginFileEvent(CurrentFileName, EventBytes(info.Bytes()));
    if (TProgressForm* window = ShownWindow()) window->SetStatusText(CurrentFileName);
}

void EngineOperations::OnProgress(CallbackBlock& info) {
    const int64_t increment = info.Bytes();
    BatchBytesDone += increment;
    ProgressEvent(CurrentFileName, EventBytes(increment));
    if (TProgressForm* window = ShownWindow()) {
        // Truncated toward zero, and kept inside the integer range when an engine over-reports.
        const double position = std::trunc(static_cast<double>(BatchBytesDone) * ProgressScale);
        const double bounded = position < INT32_MIN ? INT32_MIN : position > INT32_MAX ? INT32_MAX : position;
        window->SetProgressPosition(static_cast<int32_t>(bounded));
    }
}

void EngineOperations::OnEndBatch() {
    EndBatchEvent();
    if (TProgressForm* window = ShownWindow()) window->Hide();
}

void EngineOperations::OnTraceLine(CallbackBlock& info) {
    const std::string text = info.Text();
    session_.lastMessage = text;
    platform::FileStream* trace = TraceStream();
    if (!trace || text.empty()) return;
    const std::string line = text + kLineEnd;
    trace->Write(line.data(), static_cast<int32_t>(line.size()));
}

void EngineOperations::OnBatchBytes(CallbackBlock& info) {
    BatchTotalBytes = info.Bytes();
    BatchBytesDone = 0;
    BatchSkippedCount = 0;
    errorCount_ = 0;
    ProgressScale = BatchTotalBytes == 0 ? 1.0f : static_cast<float>(kProgressRange / static_cast<double>(BatchTotalBytes));
    if (TProgressForm* window = ShownWindow()) window->SetProgressMax(kProgressRange);
}

void EngineOperations::OnSkipped(CallbackBlock& info) {
    ++BatchSkippedCount;
    const uint32_t reason = info.Word(engine::EngineCallbackInfo::kNumber) & 0xFF;
    if (reason >= engine::kFirstErrorReason && reason <= engine::kLastErrorReason) ++errorCount_;
    TSkippedFile skipped{info.Text(), reason, std::string()};
    // The line reads "name: why"; a failure of the whole operation sends one text as both.
    std::string& lastMessage = session_.lastMessage;
    const std::string namePrefix = skipped.Name + ": ";
    if (lastMessage.compare(0, namePrefix.size(), namePrefix) == 0)
        skipped.Detail = lastMessage.substr(namePrefix.size());
    else if (lastMessage != skipped.Name)
        skipped.Detail = lastMessage;
    skippedFiles_.push_back(std::move(skipped));
    lastMessage.clear();
}

// Each question hides the window while it is asked, and shows it again unless it cancelled.
void EngineOperations::AskPassword(CallbackBlock& info) {
    QuestionScope question(ShownWindow(), Cancelled);
    const int32_t attemptsLeft = info.Number();
    const std::string prompt = attemptsLeft == static_cast<int32_t>(engine::kPasswordAttempts)
                                   ? FormatMsg(Msg::NewPasswordRequired, info.Text())
                                   : FormatMsg(Msg::PasswordInvalid);
    std::string answer;
    // A cancelled box counts as an empty answer. The answer goes to the engine only: Password and
    // its 80-character limit are not involved.
    if (!platform::CurrentUser().InputBox(zip::kApplicationTitle, prompt, "", engine::kMaxPasswordAnswer, answer))
        answer.clear();
    if (!answer.empty()) {
        info.SetText(answer);
        info.SetFlag(1);
        if (attemptsLeft > 0) info.SetNumber(attemptsLeft - 1);
    } else {
        if (Ask(FormatMsg(Msg::NoPasswordEntered), platform::kMbYesNo | platform::kMbIconQuestion) != platform::kIdYes)
            Cancelled = true;
        info.SetFlag(0);
        info.SetNumber(0);
    }
}

void EngineOperations::AskCrcError(CallbackBlock& info) {
    QuestionScope question(ShownWindow(), Cancelled);
    const int answer = Ask(FormatMsg(Msg::CrcError, info.Text()),
                           platform::kMbYesNoCancel | platform::kMbIconQuestion | platform::kMbDefButton2);
    if (answer == platform::kIdYes)
        info.SetFlag(1);
    else if (answer == platform::kIdNo)
        info.SetFlag(0);
    else
        Cancelled = true;
}

void EngineOperations::AskOverwrite(CallbackBlock& info) {
    const bool existingIsOlder = (info.Flag() & 1) != 0;
    const uint8_t options = ExtractOptions;
    if (!(options & (engine::kExtractByAge | engine::kExtractByAge2 | engine::kExtractAsk))) {
        info.SetNumber(1);
        return;
    }
    if (options & (engine::kExtractByAge | engine::kExtractByAge2)) {
        info.SetNumber(existingIsOlder ? 1 : 0);
        return;
    }
    QuestionScope question(ShownWindow(), Cancelled);
    const int answer =
        existingIsOlder
            ? Ask(FormatMsg(Msg::OverwriteOlder, info.Text()),
                  platform::kMbYesNoCancel | platform::kMbIconInformation | platform::kMbDefButton1)
            : Ask(FormatMsg(Msg::OverwriteNewer, info.Text()),
                  platform::kMbYesNoCancel | platform::kMbIconStop | platform::kMbDefButton2);
    info.SetNumber(answer == platform::kIdYes ? 1 : 0);
    if (answer != platform::kIdYes && answer != platform::kIdNo) Cancelled = true;
}
