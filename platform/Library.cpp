// Where a library named by a bare name is looked for: the same order in both builds.
#include "platform/Library.h"

#include "platform/Backend.h"

namespace platform::detail {
namespace {

// The folder part of a system path, with its trailing backslash; empty when there is none.
std::string ExtractFolder(const std::string& path) {
    const size_t separator = path.find_last_of('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

// Windows looks in the program's own folder before anywhere else; the host backend's system
// search does not, so that step is taken here for both. A bare name last goes to the system's
// own search as it is.
std::vector<std::string> LibraryPlaces(const std::string& path) {
    const bool bareName = path.find_first_of("\\/:") == std::string::npos;
    if (!bareName) return {Resolve(path).native};
    std::vector<std::string> places;
    const std::string besideProgram = ExtractFolder(ModuleFileName()) + path;
    if (FileExists(besideProgram)) places.push_back(Resolve(besideProgram).native);
    places.push_back(path);
    return places;
}

}  // namespace platform::detail
