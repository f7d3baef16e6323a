// Finding the archive behind the stub and extracting it with the engines' pieces.
#include "sfxstub/Extraction.h"

#include "engines/common/Engine.h"
#include "engines/common/EntryData.h"
#include "engines/common/TempFile.h"
#include "engines/common/Text.h"

namespace sfxstub {
namespace {

using engines::Entry;

constexpr const char* kTempPrefix = "lks";
// The stub's text is UTF-8, as the program's is: names and passwords follow the engines' UTF-8 runs.
const engines::RunText kText(true);

class Extraction {
public:
    Extraction(SfxArchive& archive, const ExtractRequest& request, ExtractionHost& host)
        : archive_(archive), destination_(engines::AppendBackslash(request.destination)), request_(request),
          host_(host), folders_(destination_) {}

    ExtractResult Run() {
        for (const Entry& entry : archive_.Entries()) {
            if (entry.IsFolder()) {
                MakeFolder(entry);
                continue;
            }
            const std::string name = entry.ShownName();
            if (!host_.BeginFile(name, entry.Size())) {
                result_.cancelled = true;
                break;
            }
            const Failure failure = ExtractFile(entry, name);
            host_.FileDone(name, failure);
            if (failure == Failure::None) {
                ++result_.extracted;
            } else if (failure == Failure::Exists) {
                ++result_.skipped;
            } else if (failure == Failure::Cancelled) {
                result_.cancelled = true;
                break;
            } else {
                ++result_.failed;
            }
        }
        return result_;
    }

private:
    // Folder entries with unsafe names are left out quietly: nothing is written for them.
    void MakeFolder(const Entry& entry) {
        std::vector<std::string> components;
        if (engines::SplitSafeName(entry.ShownName(), components)) {
            folders_.Make(components, components.size());
        }
    }

    Failure ExtractFile(const Entry& entry, const std::string& name) {
        // AES would bring the encryption library into the stub, past the size a stub may have.
        if (entry.IsAes()) return Failure::StrongEncryption;
        if (!entry.MethodSupported()) return Failure::Unsupported;
        std::vector<std::string> components;
        if (!engines::SplitSafeName(name, components)) return Failure::UnsafeName;
        const std::string target = destination_ + engines::JoinComponents(components);
        platform::FileDetails existing;
        if (platform::GetFileDetails(target, existing)) {
            if (existing.IsDirectory()) return Failure::WriteError;
            if (!request_.overwrite) return Failure::Exists;
        }
        const int64_t dataAt = entry.dataStart;
        if (dataAt < 0) return Failure::ReadError;
        std::string password;
        if (entry.IsEncrypted()) {
            const Failure found = FindPassword(entry, name, dataAt, password);
            if (found != Failure::None) return found;
        }
        if (!folders_.Make(components, components.size() - 1)) return Failure::WriteError;
        return WriteFile(entry, dataAt, password, target);
    }

    Failure FindPassword(const Entry& entry, const std::string& name, int64_t dataAt, std::string& password) {
        engines::PasswordTrial trial;
        if (!engines::ReadPasswordTrial(archive_.Stream(), entry, dataAt, trial)) return Failure::ReadError;
        for (const std::string& candidate : {kText.CipherPassword(request_.password), lastGoodPassword_}) {
            if (!candidate.empty() && trial.Opens(candidate)) {
                password = candidate;
                return Failure::None;
            }
        }
        for (int attempt = 0; attempt < kPasswordAttempts; ++attempt) {
            std::string answer;
            if (!host_.AskPassword(name, answer)) break;
            answer = kText.CipherPassword(answer);
            if (trial.Opens(answer)) {
                password = lastGoodPassword_ = answer;
                return Failure::None;
            }
        }
        return Failure::Password;
    }

    Failure WriteFile(const Entry& entry, int64_t dataAt, const std::string& password, const std::string& target) {
        engines::TempFile temp({engines::FolderPart(target)}, kTempPrefix);
        if (!temp.Valid()) return Failure::WriteError;
        const engines::DataResult result = engines::CopyEntryData(
            archive_.Stream(), entry, dataAt, password, temp.Stream(), [this](size_t bytes) { return host_.Progress(bytes); });
        switch (result) {
        case engines::DataResult::Good:
            break;
        case engines::DataResult::Damaged:
        case engines::DataResult::Longer:
        case engines::DataResult::Unauthentic:
            return Failure::Damaged;
        case engines::DataResult::WriteError:
            return Failure::WriteError;
        case engines::DataResult::Cancelled:
            return Failure::Cancelled;
        }
        temp.Stream().SetModified(engines::FromDos(entry.DosDate(), entry.DosTime()));
        if (!temp.MoveTo(target)) return Failure::WriteError;
        return Failure::None;
    }

    SfxArchive& archive_;
    const std::string destination_;
    const ExtractRequest& request_;
    ExtractionHost& host_;
    engines::FolderMaker folders_;
    std::string lastGoodPassword_;
    ExtractResult result_;
};

}  // namespace

SfxArchive::Status SfxArchive::Open(const std::string& path, int64_t imageSize) {
    std::unique_ptr<platform::FileStream> file =
        platform::FileStream::Open(path, platform::Access::Read, platform::Share::DenyWrite, error_);
    if (!file) return Status::CannotOpen;
    return Read(std::move(file), imageSize);
}

SfxArchive::Status SfxArchive::Read(std::unique_ptr<platform::Stream> stream, int64_t imageSize) {
    stream_ = std::move(stream);
    if (stream_->Size() <= imageSize) return Status::NoArchive;
    if (!engines::ReadDirectory(*stream_, directory_, error_, kText.Utf8())) return Status::Damaged;
    // The archive's data must lie behind the program: a record found inside the program's own code
    // is not an archive.
    if (directory_.prefixLength < imageSize) {
        error_ = "its records point into the program itself.";
        return Status::Damaged;
    }
    engines::LocateData(*stream_, directory_);
    if (engines::EntriesOverlap(directory_)) {
        error_ = "its entries share their data with one another, as in a ZIP bomb.";
        return Status::Damaged;
    }
    return Status::Ok;
}

StubMsg ReasonOf(Failure failure) {
    switch (failure) {
    case Failure::None:
        return StubMsg::Extracted;
    case Failure::Exists:
        return StubMsg::ReasonExists;
    case Failure::UnsafeName:
        return StubMsg::ReasonUnsafeName;
    case Failure::Unsupported:
        return StubMsg::ReasonUnsupported;
    case Failure::StrongEncryption:
        return StubMsg::ReasonStrongEncryption;
    case Failure::Password:
        return StubMsg::ReasonPassword;
    case Failure::Damaged:
        return StubMsg::ReasonDamaged;
    case Failure::WriteError:
        return StubMsg::ReasonWriteError;
    case Failure::ReadError:
        return StubMsg::ReasonReadError;
    case Failure::Cancelled:
        return StubMsg::ReasonCancelled;
    }
    return StubMsg::ReasonReadError;
}

std::string OutcomeLine(const std::string& name, Failure failure) {
    if (failure == Failure::None) return FormatStubMsg(StubMsg::Extracted, name);
    return FormatStubMsg(StubMsg::NotExtracted, name + ": " + MsgText(ReasonOf(failure)));
}

bool MakeDestination(const std::string& folder) {
    const std::string path = engines::AppendBackslash(folder);
    // Each separator after the first component closes a folder that must exist; the drive or
    // share prefix before it is taken as it is.
    for (size_t at = path.find('\\', 1); at != std::string::npos; at = path.find('\\', at + 1)) {
        const std::string part = path.substr(0, at);
        if (part.empty() || part.back() == ':' || platform::DirectoryExists(part)) continue;
        if (!platform::CreateDirectory(part)) return false;
    }
    return platform::DirectoryExists(path);
}

ExtractResult ExtractAll(SfxArchive& archive, const ExtractRequest& request, ExtractionHost& host) {
    return Extraction(archive, request, host).Run();
}

int64_t TotalSize(const engines::EntryList& entries) {
    int64_t total = 0;
    for (const engines::Entry& entry : entries) {
        if (!entry.IsFolder()) total += entry.Size();
    }
    return total;
}

}  // namespace sfxstub
