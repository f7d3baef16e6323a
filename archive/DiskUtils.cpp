// Drive classification, free space, temporary files and the volume labels of multi-disk sets.
#include "archive/DiskUtils.h"

#include <cstdio>
#include <cstdlib>

#include "archive/Archive.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/TempFiles.h"
#include "platform/User.h"

const char* const kDiskLabelPrefix = "PKBACK# ";

namespace {

constexpr const char* kTempPrefix = "zzz";
constexpr const char* kTempFolderPrefix = "lks";  // apart from the files, which other runs count
constexpr size_t kLabelDigits = 3;

// A relative path has no drive part; it lives on the drive of the current directory.
std::string RootOrCurrent(const std::string& root) {
    return root.empty() ? AppendBackslash(ExtractFileDrive(platform::GetCurrentDirectory())) : root;
}

// The leading digits of `text` as a number; 0 when it is not a whole number.
int32_t ToIntegerOrZero(const std::string& text) {
    if (text.empty()) return 0;
    for (char c : text)
        if (c < '0' || c > '9') return 0;
    return std::atoi(text.c_str());
}

}  // namespace

std::string DiskLabel(int32_t diskNumber) {
    char label[32];
    std::snprintf(label, sizeof label, "%s%.3d", kDiskLabelPrefix, static_cast<int>(diskNumber));
    return label;
}

std::string DriveRoot(const std::string& path) { return AppendBackslash(ExtractFileDrive(path)); }

int GetPathDriveType(const std::string& path) {
    if (path.empty()) return platform::kDriveNoRootDir;
    return platform::GetDriveType(RootOrCurrent(DriveRoot(path)));
}

std::string GetTempDirectory() {
    const std::string temp = platform::GetTempPath();
    return temp.empty() ? ExtractFilePath(platform::ModuleFileName()) : temp;
}

std::string MakeTempFileName() { return MakeTempFileNameIn(GetTempDirectory()); }

std::string MakeTempFileNameIn(const std::string& folder) {
    platform::RemoveOrphanedTempFiles(folder, kTempPrefix);
    return platform::MakeProcessTempFile(folder, kTempPrefix);
}

TempFolders::~TempFolders() {
    if (folders_.empty()) return;
    // Windows keeps the current folder from being removed, and an extraction leaves it there.
    platform::SetCurrentDirectory(GetTempDirectory());
    for (const std::string& folder : folders_) platform::RemoveTree(folder);
}

std::string TempFolders::Make() {
    const std::string temp = GetTempDirectory();
    platform::RemoveOrphanedTempFiles(temp, kTempFolderPrefix);
    std::string folder = platform::MakeProcessTempFolder(temp, kTempFolderPrefix);
    if (!folder.empty()) folders_.push_back(folder);
    return folder;
}

int32_t GetDriveFreeSpace(const std::string& path) {
    if (path.size() < 3 || path.find(":\\") != 1) return 0;
    const int64_t freeBytes = platform::GetDiskFreeSpace(path.substr(0, 3));
    if (freeBytes < 0) return 0;
    // Callers only need to know whether a floppy has room; larger drives read as the largest count.
    return freeBytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(freeBytes);
}

bool GetVolumeLabel(const std::string& drive, std::string& label) {
    label.clear();
    const std::string root = RootOrCurrent(AppendBackslash(drive));
    // An empty floppy drive must fail the query, not bring up the system's critical-error box.
    platform::ErrorModeGuard quiet(platform::kFailCriticalErrors);
    std::string text;
    if (!platform::GetVolumeLabel(root, text)) return false;
    label = text;
    return true;
}

int32_t GetDiskNumberFromLabel(const std::string& fileName) {
    if (!platform::FileExists(fileName)) return 0;
    if (GetPathDriveType(fileName) != platform::kDriveRemovable) return 0;
    std::string label;
    if (!GetVolumeLabel(ExtractFileDrive(fileName), label)) return 0;
    const std::string prefix = kDiskLabelPrefix;
    if (label.compare(0, prefix.size(), prefix) != 0) return 0;
    return ToIntegerOrZero(label.substr(prefix.size(), kLabelDigits));
}

bool AskToContinue(const std::string& text) {
    return platform::CurrentUser().MessageBox(text, zip::kApplicationTitle,
                                              platform::kMbOkCancel | platform::kMbIconInformation) == platform::kIdOk;
}

bool PromptForDisk(const std::string& fileName, int32_t diskNumber) {
    while (GetDiskNumberFromLabel(fileName) != diskNumber) {
        if (!AskToContinue(zip::FormatMsg(zip::Msg::InsertDisk, diskNumber))) return false;
    }
    return true;
}
