// Temporary output files of the engines: made beside their target, removed unless moved into place.
#include "engines/common/TempFile.h"

#include "engines/common/Text.h"
#include "platform/TempFiles.h"

namespace engines {

TempFile::TempFile(std::initializer_list<std::string> folders, const std::string& prefix) {
    for (const std::string& folder : folders) {
        stream_ = platform::CreateProcessTempFile(folder, prefix, path_);
        if (stream_) return;
    }
}

TempFile::TempFile(ForTarget, const std::string& target, const std::string& prefix, bool atTarget) {
    std::string error;
    if (atTarget) stream_ = platform::FileStream::Open(target, platform::Access::CreateNew, platform::Share::Exclusive, error);
    if (stream_) {
        path_ = target;
        return;
    }
    stream_ = platform::CreateProcessTempFile(FolderPart(target), prefix, path_);
}

TempFile::~TempFile() {
    stream_.reset();
    if (!path_.empty()) platform::DeleteFile(path_);
}

bool TempFile::MoveTo(const std::string& target) {
    stream_.reset();
    if (path_ != target && !platform::MoveFile(path_, target)) {
        if (!platform::CopyFile(path_, target, false)) return false;
        platform::DeleteFile(path_);
    }
    path_.clear();
    return true;
}

}  // namespace engines
