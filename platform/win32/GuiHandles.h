// Windows only: the owners of the user-interface handles (GDI objects, icons, image lists, menus,
// registry keys, drop handles) and the guards for releases that need context.
#pragma once

#include "platform/win32/WindowsApi.h"

#include <commctrl.h>
#include <shellapi.h>

#include "platform/Handle.h"

namespace platform::win32 {

struct GdiObjectPolicy {
    using Value = HGDIOBJ;
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ object) { ::DeleteObject(object); }
};
using GdiObject = UniqueHandle<GdiObjectPolicy>;

struct IconPolicy {
    using Value = HICON;
    static HICON Invalid() { return nullptr; }
    static void Close(HICON icon) { ::DestroyIcon(icon); }
};
using IconHandle = UniqueHandle<IconPolicy>;

struct ImageListPolicy {
    using Value = HIMAGELIST;
    static HIMAGELIST Invalid() { return nullptr; }
    static void Close(HIMAGELIST list) { ::ImageList_Destroy(list); }
};
using ImageListHandle = UniqueHandle<ImageListPolicy>;

// A menu that no window holds; a menu attached to a window is destroyed with the window.
struct MenuPolicy {
    using Value = HMENU;
    static HMENU Invalid() { return nullptr; }
    static void Close(HMENU menu) { ::DestroyMenu(menu); }
};
using MenuHandle = UniqueHandle<MenuPolicy>;

struct RegistryKeyPolicy {
    using Value = HKEY;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY key) { ::RegCloseKey(key); }
};
using RegistryKey = UniqueHandle<RegistryKeyPolicy>;

struct DropPolicy {
    using Value = HDROP;
    static HDROP Invalid() { return nullptr; }
    static void Close(HDROP drop) { ::DragFinish(drop); }
};
using DropHandle = UniqueHandle<DropPolicy>;

// A memory device context from CreateCompatibleDC.
struct MemoryDcPolicy {
    using Value = HDC;
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { ::DeleteDC(dc); }
};
using MemoryDc = UniqueHandle<MemoryDcPolicy>;

struct WindowPolicy {
    using Value = HWND;
    static HWND Invalid() { return nullptr; }
    static void Close(HWND window) { ::DestroyWindow(window); }
};
using WindowHandle = UniqueHandle<WindowPolicy>;

// Puts the object back that SelectObject replaced.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectGuard() { ::SelectObject(dc_, previous_); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context from GetDC, released to that window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint and EndPaint around one WM_PAINT.
class PaintGuard {
public:
    explicit PaintGuard(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
    ~PaintGuard() { ::EndPaint(window_, &paint_); }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    HDC Dc() const { return dc_; }
    const RECT& Area() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// Turns a window's repainting off for its lifetime and back on, with a full repaint, on every way out.
class RedrawSuspension {
public:
    explicit RedrawSuspension(HWND window) : window_(window) { ::SendMessageA(window, WM_SETREDRAW, FALSE, 0); }
    ~RedrawSuspension() {
        ::SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(window_, nullptr, TRUE);
    }
    RedrawSuspension(const RedrawSuspension&) = delete;
    RedrawSuspension& operator=(const RedrawSuspension&) = delete;

private:
    HWND window_;
};

}  // namespace platform::win32
