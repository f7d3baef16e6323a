// Temporary output files of the engines: made beside their target, removed unless moved into place.
#include "engines/common/TempFile.h"

namespace engines {

TempFile::TempFile(std::initializer_list<std::string> folders, const std::string& prefix) {
    for (const std::string& folder : folders) {
        const std::string path = platform::MakeProcessTempFile(folder, prefix);
        if (path.empty()) continue;
        try {
            stream_ =
                std::make_unique<platform::FileStream>(path, platform::Access::Create, platform::Share::Exclusive);
            path_ = path;
            return;
        } catch (const platform::FileError&) {
            // The folder made the name but does not let us write it: try the next one.
            platform::DeleteFile(path);
        }
    }
}

TempFile::~TempFile() {
    stream_.reset();
    if (!path_.empty()) platform::DeleteFile(path_);
}

bool TempFile::MoveTo(const std::string& target) {
    stream_.reset();
    if (!platform::MoveFile(path_, target) && !platform::CopyFile(path_, target, false)) return false;
    if (platform::FileExists(path_)) platform::DeleteFile(path_);
    path_.clear();
    return true;
}

}  // namespace engines
