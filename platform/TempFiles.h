// Temporary files: the system's folder for them, fresh names, and the files a process marks as its own.
#pragma once

#include <memory>
#include <string>

#include "platform/Files.h"

namespace platform {

std::string GetTempPath();  // with trailing backslash; may be empty
// Creates an empty file "<prefix><hex>.tmp" in `directory` and returns its full name; empty on failure.
std::string GetTempFileName(const std::string& directory, const std::string& prefix);
// Creates an empty file "<prefix>~<process id>-<hex>.tmp" in `directory`: a name that says which
// process owns it, so a later run can tell a file left by a killed process from one in use.
// Returns its full name; empty on failure.
std::string MakeProcessTempFile(const std::string& directory, const std::string& prefix);
// The same file made and opened for writing in one step, kept to this process alone; `path` gets
// its full name. nullptr when none can be made, and LastFailure() says why.
std::unique_ptr<FileStream> CreateProcessTempFile(const std::string& directory, const std::string& prefix,
                                                  std::string& path);
// A new empty folder of such a name, owned by this process in the same way; empty on failure.
std::string MakeProcessTempFolder(const std::string& directory, const std::string& prefix);
// Deletes the files and folders made so in `directory` with `prefix` whose process has ended.
void RemoveOrphanedTempFiles(const std::string& directory, const std::string& prefix);

}  // namespace platform
