// Inside the platform layer only: what its portable parts and its two backends (posix/, win32/)
// share. Each public function is defined once, by the backend where the system does the work or by
// a portable family file where the work is the same on both; the backends ask the simulated drive
// table first through the resolver below. What follows are the few other operations they share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/SimulatedDrives.h"

namespace platform::detail {

// ---------------------------------------------------------------------------------------------
// The resolver every path goes through before the system sees it (SimulatedDrives.cpp)

// A system path taken apart: its native form and, when it lies on a simulated drive, that drive.
struct ResolvedPath {
    std::string native;
    std::optional<SimulatedDrive> drive;
    bool NoDisk() const { return drive && !drive->disk; }
    bool ReadOnly() const { return drive && drive->disk && drive->disk->readOnly; }
};

ResolvedPath Resolve(const std::string& systemPath);
// The simulated drive a path's drive letter names, or nothing.
std::optional<SimulatedDrive> SimulatedDriveOf(const std::string& path);
// Bytes still free on a disk with a capacity.
int64_t RoomOn(const SimulatedDisk& disk);
// What a simulated drive answers for its free space and its label, as a real drive would.
int64_t FreeSpaceOn(const SimulatedDrive& drive);
bool ReadLabel(const SimulatedDrive& drive, std::string& label);
bool WriteLabel(const SimulatedDrive& drive, const std::string& label);

// ---------------------------------------------------------------------------------------------
// The last failure (Files.cpp)

// Notes the failure of the call that just failed, before anything else can change the system's error.
void NoteFailure();
void NoteFailure(const std::string& reason, bool diskFull = false);

// Runs one of the system's writing calls, refused on a write-protected disk; a refusal or a failure
// leaves its reason for the caller's message.
template <typename Call>
bool WriteOnDisk(bool readOnly, Call&& call) {
    if (readOnly) {
        NoteFailure(AccessDeniedReason());
        return false;
    }
    if (call()) return true;
    NoteFailure();
    return false;
}

// Where LoadLibrary looks for `path`, in order, in native form (Library.cpp).
std::vector<std::string> LibraryPlaces(const std::string& path);

// ---------------------------------------------------------------------------------------------
// Operations of the system the portable parts are built on (posix/ and win32/); paths here are
// native paths, already resolved.

// A path without a simulated drive, turned into the operating system's own form.
std::string ToNativePath(const std::string& systemPath);
// The folder of a simulated disk joined with the rest of a system path ("dir\file.zip").
std::string JoinNative(const std::string& folder, const std::string& rest);
// Makes the folder unless it exists.
void MakeNativeFolder(const std::string& folder);
// Fills the simulated drive table the process starts with (and ResetDrives returns to).
void MapDefaultDrives();
// Bytes taken by the files under a folder, for simulated disks with a capacity.
int64_t FolderUsage(const std::string& folder);
// Free bytes of the real file system that holds `path`, or -1.
int64_t FreeSpaceOf(const std::string& path);

// The failure of the system call that just failed, from errno or GetLastError.
Failure CaptureFailure();
// Returns FileHandlePolicy::Invalid() and fills `error` with the system's reason when the file
// cannot be opened.
intptr_t OpenNativeFile(const std::string& path, Access access, Share share, std::string& error);
int32_t WriteNativeFile(intptr_t file, const void* buffer, int32_t count);
// Copies up to `count` bytes between the files' positions inside the kernel, advancing both;
// returns the bytes copied, 0 where the system has no such copy or it failed at once.
int32_t CopyRange(intptr_t from, intptr_t to, int32_t count);
// Creates a new empty file; false when it exists already or cannot be made.
bool CreateNativeFile(const std::string& path);
// The real operating system's temporary file name, or empty when it cannot make one. The host
// leaves this to the portable code and returns empty.
std::string SystemTempFileName(const std::string& directory, const std::string& prefix);
uint32_t CurrentProcessId();
// False only when no process with this id runs (any doubt counts as running).
bool ProcessRuns(uint32_t processId);

}  // namespace platform::detail
