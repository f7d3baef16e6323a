// A temporary file that is deleted on every way out unless it was moved into place.
#pragma once

#include <memory>
#include <string>

#include "platform/Files.h"

namespace engines {

class TempFile {
public:
    // Makes the file in the first of `folders` that takes one, named after `prefix` and this
    // process (so a later run can remove it should this one be killed); Valid() is false when
    // none did, and platform::LastFailure() says why.
    explicit TempFile(std::initializer_list<std::string> folders, const std::string& prefix);
    struct ForTarget {};
    // The file `target`'s bytes are written into: with `atTarget` (bytes known whole and sound before
    // they are written) `target` itself when that name can be made new, else a temporary file in its
    // folder named after `prefix`. Either is removed as a temporary file is unless moved to `target`,
    // where a file made there only closes; Valid() is false when none could be made.
    TempFile(ForTarget, const std::string& target, const std::string& prefix, bool atTarget);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Valid() const { return stream_ != nullptr; }
    platform::FileStream& Stream() { return *stream_; }
    const std::string& Path() const { return path_; }
    // Closes the file and renames it over `target` (copying where a rename cannot cross volumes);
    // a file made at `target` only closes.
    bool MoveTo(const std::string& target);

private:
    std::string path_;
    std::unique_ptr<platform::FileStream> stream_;
};

}  // namespace engines
