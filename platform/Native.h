// What each operating system supplies underneath the platform interface; implemented once in
// posix/ and once in win32/. Paths here are native paths, already resolved from drive letters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace platform::native {

constexpr intptr_t kInvalidFile = -1;

// A path without a simulated drive, turned into the operating system's own form.
std::string ToNativePath(const std::string& systemPath);
// The folder of a simulated disk joined with the rest of a system path ("dir\file.zip").
std::string JoinNative(const std::string& folder, const std::string& rest);

// Returns kInvalidFile and fills `error` with the system's reason when the file cannot be opened.
intptr_t OpenFile(const std::string& path, Access access, Share share, std::string& error);
// Creates a new empty file; false when it exists already or cannot be made.
bool CreateNewFile(const std::string& path);
void CloseFile(intptr_t file);
int32_t ReadFile(intptr_t file, void* buffer, int32_t count);
// Reads at `offset`; the file's position afterwards is unspecified.
int32_t ReadFileAt(intptr_t file, int64_t offset, void* buffer, int32_t count);
int32_t WriteFile(intptr_t file, const void* buffer, int32_t count);
// Copies up to `count` bytes between the files' positions inside the kernel, advancing both;
// returns the bytes copied, 0 where the system has no such copy or it failed at once.
int32_t CopyRange(intptr_t from, intptr_t to, int32_t count);
int64_t SeekFile(intptr_t file, int64_t offset, Origin origin);
int64_t FileSize(intptr_t file);
bool TruncateFile(intptr_t file);
// Sets disk room aside for the file to grow to `size` bytes without changing its size; false where
// the system cannot, and the writes then take their room as they go.
bool ReserveFileSpace(intptr_t file, int64_t size);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool DeleteFile(const std::string& path);
bool CreateDirectory(const std::string& path);
bool RemoveDirectory(const std::string& path);
// Bytes taken by the files under a folder, for simulated disks with a capacity.
int64_t FolderUsage(const std::string& folder);
// Free bytes of the real file system that holds `path`, or -1.
int64_t FreeSpaceOf(const std::string& path);

std::string GetCurrentDirectory();                 // system form
bool SetCurrentDirectory(const std::string& path); // native form
std::string ModuleFileName();                      // system form
std::string GetTempPath();                         // system form, trailing backslash
// The real operating system's temporary file name, or empty when it cannot make one. The host
// leaves this to the portable code and returns empty.
std::string GetTempFileName(const std::string& directory, const std::string& prefix);

// The failure of the native call that just failed, from errno or GetLastError.
Failure CaptureFailure();
std::string AccessDeniedReason();
uint32_t CurrentProcessId();
// False only when no process with this id runs (any doubt counts as running).
bool ProcessRuns(uint32_t processId);

// File details for the engines; native paths in, names in the ANSI code page out.
std::vector<FileDetails> ListDirectory(const std::string& folder);
bool GetFileDetails(const std::string& path, FileDetails& details);
bool SetFileModified(const std::string& path, const LocalTime& time);
bool SetFileModified(intptr_t file, const LocalTime& time);
bool MoveFile(const std::string& from, const std::string& to);

// Drives that are not in the simulated table.
int GetDriveType(const std::string& root);
int64_t GetDiskFreeSpace(const std::string& root);
bool GetVolumeLabel(const std::string& root, std::string& label);
bool SetVolumeLabel(const std::string& root, const std::string& label);
unsigned SetErrorMode(unsigned mode);
// Fills the simulated drive table the process starts with (and ResetDrives returns to).
void MapDefaultDrives();

// A library by native path, or by bare name through the system's own search; nullptr on failure.
void* LoadLibrary(const std::string& path);
void FreeLibrary(void* library);
void* GetProcAddress(void* library, const char* name);

std::string OemToAnsi(const std::string& text);
std::string AnsiToOem(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);
std::string AnsiToUtf8(const std::string& text);
std::string AnsiFromConsole(const std::string& text);
std::string AnsiToConsole(const std::string& text);
std::string SystemPathFromArgument(const std::string& argument);
bool StandardErrorIsTerminal();

// The user of the platform's own interface: message boxes on Windows, the console on the host.
std::unique_ptr<User> MakeUser();

}  // namespace platform::native
