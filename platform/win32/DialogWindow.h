// Windows only: the modeless dialog whose keyboard messages the message pump hands to IsDialogMessage.
#pragma once

namespace platform::win32 {

// An HWND, or nullptr when no modeless dialog is open.
void SetDialogWindow(void* window);

}  // namespace platform::win32
