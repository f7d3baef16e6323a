// Windows only: registering the program's window classes and creating child controls.
#pragma once

#include "platform/win32/WindowsApi.h"

#include <string>

namespace platform::win32 {

HINSTANCE ProgramInstance();

// Registers `windowClass` unless a class of its name exists (a second window of a kind finds it
// registered). Fills in what every class of the program shares: the instance, the arrow cursor and
// the button-face background. Throws FileError with the system's reason when registering fails.
void RegisterClassOnce(WNDCLASSEXW windowClass);

// A visible child control; throws FileError with the system's reason when it cannot be made.
HWND CreateChild(HWND parent, DWORD exStyle, const char* className, const std::string& text, DWORD style,
                 const RECT& bounds, int id);

// A window's text (a caption, a control's contents), read and set as UTF-8.
std::string WindowText(HWND window);
void SetWindowText(HWND window, const std::string& text);

// Throws FileError naming `call` and the system's reason for its failure.
[[noreturn]] void ThrowLastError(const char* call);

}  // namespace platform::win32
