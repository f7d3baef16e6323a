// Drive classification, free space, temporary files and the volume labels of multi-disk sets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Label prefix of every disk of a multi-disk set; the disk's 1-based number follows in three digits.
extern const char* const kDiskLabelPrefix;
std::string DiskLabel(int32_t diskNumber);

int GetPathDriveType(const std::string& path);
std::string GetTempDirectory();
std::string MakeTempFileName();
int32_t GetDriveFreeSpace(const std::string& path);
bool GetVolumeLabel(const std::string& drive, std::string& label);
int32_t GetDiskNumberFromLabel(const std::string& fileName);
bool PromptForDisk(const std::string& fileName, int32_t diskNumber);
// The root of a path's drive with its trailing backslash ("A:\", "\\server\share\").
std::string DriveRoot(const std::string& path);

// The least room a disk of a set must offer, and the least part size a limit may ask for.
constexpr int32_t kMinSpanSize = 262144;
// Spanning and merging move every record through one buffer of this size.
constexpr int32_t kSpanBufferSize = 32768;
// Entry data and whole parts move in larger blocks: at 32 KiB a copy costs twice what cp takes,
// all of it in the per-call cost of the system's reads and writes.
constexpr int32_t kCopyBlockSize = 1048576;

// A new, empty, uniquely named file with the temporary prefix and this process's id in `folder`;
// empty when none can be made. Such files that a killed run left in `folder` are removed first.
std::string MakeTempFileNameIn(const std::string& folder);
// Private folders in the temporary folder, named in the way of MakeTempFileNameIn's files, and removed
// with this object; one whose file a program still holds stays until a later run removes it.
class TempFolders {
public:
    TempFolders() = default;
    TempFolders(const TempFolders&) = delete;
    TempFolders& operator=(const TempFolders&) = delete;
    ~TempFolders();
    // A new, empty folder; those a killed run left are removed first. Empty when none can be made.
    std::string Make();

private:
    std::vector<std::string> folders_;
};
// Shows `text` with OK and Cancel as the disk prompts do; true when the answer is OK.
bool AskToContinue(const std::string& text);

inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
