// The per-test temporary folder: made under the system's temporary folder, removed at the end.
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace larktest {
namespace {

#ifdef _WIN32
constexpr char kNativeSeparator = '\\';
#else
constexpr char kNativeSeparator = '/';
#endif

// The host's root is drive C: in the system form of its paths; Windows paths already are.
std::string SystemFromNative(std::string path) {
#ifdef _WIN32
    return path;
#else
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "C:" + path;
#endif
}

std::string WithNativeSeparators(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\\') c = kNativeSeparator;
    }
    return name;
}

fs::path MakeUniqueFolder() {
    static unsigned sequence = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "lark-" << std::hex << stamp << '-' << ++sequence;
        const fs::path folder = fs::temp_directory_path() / name.str();
        if (fs::create_directory(folder)) return folder;
    }
}

}  // namespace

TestFolder::TestFolder() : native_(MakeUniqueFolder().string()) {}

TestFolder::~TestFolder() {
    platform::ResetDrives();
    std::error_code ignored;
    fs::remove_all(native_, ignored);
}

std::string TestFolder::Path(const std::string& name) const { return SystemFromNative(NativePath(name)); }

std::string TestFolder::NativePath(const std::string& name) const {
    if (name.empty()) return native_;
    return native_ + kNativeSeparator + WithNativeSeparators(name);
}

std::string TestFolder::Write(const std::string& name, const std::string& bytes) const {
    const fs::path file = NativePath(name);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << "cannot write " << file.string();
    return Path(name);
}

std::string TestFolder::Read(const std::string& name) const {
    std::ifstream in(NativePath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TestFolder::Exists(const std::string& name) const { return fs::exists(NativePath(name)); }

platform::DiskPtr TestFolder::MapDisk(char letter, int type, const std::string& name, const std::string& label,
                                      int64_t capacity) const {
    platform::DiskPtr disk = platform::MakeDisk(NativePath(name), label, capacity);
    platform::MapDrive(letter, type, disk);
    return disk;
}

}  // namespace larktest
