// The one door of the Windows backend to <windows.h>: takes back the macros that clash with our names.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handle.h"

// <windows.h> maps these names onto their ...A or ...W functions; the platform interface uses the
// same names for its own functions, so the backend calls the ...W functions by their full names.
#undef AnsiToOem
#undef AnsiToOemBuff
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef FormatMessage
#undef GetCurrentDirectory
#undef GetDiskFreeSpace
#undef GetDriveType
#undef GetTempFileName
#undef GetTempPath
#undef LoadCursor
#undef LoadLibrary
#undef MessageBox
#undef MoveFile
#undef OemToAnsi
#undef OemToAnsiBuff
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetVolumeLabel
#undef SetWindowText

namespace platform::win32 {

struct FindPolicy {
    using Value = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE find) { ::FindClose(find); }
};
using FindHandle = UniqueHandle<FindPolicy>;

// A kernel object handle that is null when invalid (processes, threads, events).
struct KernelObjectPolicy {
    using Value = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE object) { ::CloseHandle(object); }
};
using KernelHandle = UniqueHandle<KernelObjectPolicy>;

// Our text is UTF-8 and Windows' is UTF-16: every name crosses here on its way to or from a ...W
// call. Bytes that are not UTF-8 become U+FFFD, never a name the caller did not mean.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* utf16, size_t length);
std::string Utf8(const std::wstring& utf16);
std::string Utf8(const wchar_t* utf16);  // up to its terminating zero; empty for nullptr
// Text in a code page of the system (the console's, the ANSI one) as UTF-16.
std::wstring CodePageToUtf16(UINT codePage, const std::string& text);

// The system's text for an error code, without the line break Windows ends it with.
std::string SystemMessage(DWORD error);

}  // namespace platform::win32
