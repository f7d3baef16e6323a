// Temporary files named as Windows names them, on every drive and in both builds, and the files a
// process marks as its own so that a later run can remove those a killed process left.
#include "platform/TempFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/Backend.h"

namespace platform {
namespace {

// Windows builds temporary names from at most three characters of the prefix.
constexpr size_t kTempPrefixLength = 3;
constexpr unsigned kTempNumbers = 0x10000;
constexpr char kProcessMark = '~';
constexpr const char* kTempExtension = ".tmp";

std::string TempName(const std::string& directory, const std::string& prefix, unsigned number) {
    std::string name = directory;
    if (!name.empty() && name.back() != '\\' && name.back() != ':') name += '\\';
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", number % kTempNumbers);
    return name + prefix + hex + kTempExtension;
}

bool CreateNewFile(const std::string& path) {
    const detail::ResolvedPath resolved = detail::Resolve(path);
    return detail::WriteOnDisk(resolved.ReadOnly(), [&] { return detail::CreateNativeFile(resolved.native); });
}

// Tries every number once, starting from one that differs between runs, as Windows does, until
// `create` makes the file of a name. A failure that no other number can mend (a read-only folder,
// a full disk, a missing folder) ends the search.
template <typename Create>
std::string CreateFreeTempName(const std::string& directory, const std::string& prefix, Create create) {
    static unsigned next = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned tries = 0; tries < kTempNumbers; ++tries) {
        const unsigned number = next++ % kTempNumbers;
        if (number == 0) continue;  // 0 asks Windows to choose a number; it never names a file
        const std::string name = TempName(directory, prefix, number);
        if (create(name)) return name;
        if (FileExists(name)) continue;
        return {};
    }
    return {};
}

std::string MakeTempFileHere(const std::string& directory, const std::string& prefix) {
    if (!DirectoryExists(directory.empty() ? "." : directory)) return {};
    return CreateFreeTempName(directory, prefix, CreateNewFile);
}

std::string ProcessTempPrefix(const std::string& prefix, uint32_t processId) {
    return prefix + kProcessMark + std::to_string(processId) + '-';
}

// The owner's process id of a name MakeProcessTempFile made with `prefix`; 0 when it is none.
uint32_t TempFileOwner(const std::string& name, const std::string& prefix) {
    const size_t extension = name.size() - std::min(name.size(), std::strlen(kTempExtension));
    if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] != kProcessMark || name.compare(extension, std::string::npos, kTempExtension) != 0) {
        return 0;
    }
    uint32_t owner = 0;
    size_t at = prefix.size() + 1;
    for (; at < extension && name[at] >= '0' && name[at] <= '9'; ++at) owner = owner * 10 + (name[at] - '0');
    return at < extension && name[at] == '-' ? owner : 0;
}

}  // namespace

std::string GetTempFileName(const std::string& directory, const std::string& prefix) {
    if (!detail::SimulatedDriveOf(directory)) {
        const std::string name = detail::SystemTempFileName(detail::ToNativePath(directory), prefix);
        if (!name.empty()) return name;
        detail::NoteFailure();
    }
    return MakeTempFileHere(directory, prefix.substr(0, kTempPrefixLength));
}

std::string MakeProcessTempFile(const std::string& directory, const std::string& prefix) {
    return MakeTempFileHere(directory, ProcessTempPrefix(prefix, detail::CurrentProcessId()));
}

std::string MakeProcessTempFolder(const std::string& directory, const std::string& prefix) {
    if (!DirectoryExists(directory.empty() ? "." : directory)) return {};
    return CreateFreeTempName(directory, ProcessTempPrefix(prefix, detail::CurrentProcessId()),
                              [](const std::string& name) { return CreateDirectory(name); });
}

// One call to the system makes and opens the file: an extraction makes one per file it writes.
std::unique_ptr<FileStream> CreateProcessTempFile(const std::string& directory, const std::string& prefix,
                                                  std::string& path) {
    std::unique_ptr<FileStream> stream;
    path = CreateFreeTempName(directory, ProcessTempPrefix(prefix, detail::CurrentProcessId()),
                              [&](const std::string& name) {
                                  std::string error;
                                  stream = FileStream::Open(name, Access::CreateNew, Share::Exclusive, error);
                                  return stream != nullptr;
                              });
    return stream;
}

void RemoveOrphanedTempFiles(const std::string& directory, const std::string& prefix) {
    const std::string folder = directory.empty() || directory.back() == '\\' ? directory : directory + '\\';
    const uint32_t self = detail::CurrentProcessId();
    for (const FileDetails& item : ListDirectory(folder.empty() ? "." : folder)) {
        const uint32_t owner = TempFileOwner(item.name, prefix);
        if (owner == 0 || owner == self || detail::ProcessRuns(owner)) continue;
        if (item.IsDirectory())
            RemoveTree(folder + item.name);
        else
            DeleteFile(folder + item.name);
    }
}

}  // namespace platform
