// A fresh temporary folder per test, removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SimulatedDrives.h"

namespace larktest {

// Also puts the simulated drive table back as the process started with it, so that drives a test
// mapped cannot leak into the next one.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The path of `name` inside the folder in the form the core takes ("C:\tmp\lark-...\a.zip" on
    // the host, the real Windows path on Windows); the folder itself, with no trailing
    // backslash, for an empty name. `name` may hold sub-folders, separated by '/' or '\'.
    std::string Path(const std::string& name = "") const;
    // The same in the operating system's own form, as simulated disks take it.
    std::string NativePath(const std::string& name = "") const;

    // Writes `bytes` as the whole file `name` (sub-folders made as needed) and returns Path(name).
    std::string Write(const std::string& name, const std::string& bytes) const;
    // The whole file `name`; empty when it cannot be read.
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

    // A simulated disk whose files live in the sub-folder `name`, inserted in a drive of `type`
    // mapped on `letter`.
    platform::DiskPtr MapDisk(char letter, int type, const std::string& name, const std::string& label,
                              int64_t capacity = 0) const;

private:
    std::string native_;  // the folder, in the operating system's form
};

}  // namespace larktest
