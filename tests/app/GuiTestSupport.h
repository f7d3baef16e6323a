// Helpers of the window tests: the message pump, window texts, a list view read through another
// process's memory, registry values.
#pragma once

#include "platform/win32/GuiHandles.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace larktest {

// False when Wine has no display to draw on: the window tests would then test nothing.
bool DisplayAvailable();
// Lets the pending window messages through (the program's own pump).
void PumpMessages();
// Pumps until `done` holds or about five seconds have passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done);

std::string WindowText(HWND window);
std::string LocaleSeparator(LCTYPE item);

struct ListedRow {
    std::string name, size, dateTime, comment;
    int image = -1;
    bool operator==(const ListedRow& other) const {
        return name == other.name && size == other.size && dateTime == other.dateTime && comment == other.comment &&
               image == other.image;
    }
};
std::ostream& operator<<(std::ostream& out, const ListedRow& row);

// Memory in another process (for messages whose data must lie in the receiver), freed on every way out.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size)
        : process_(process), address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBuffer() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    char* Address() const { return static_cast<char*>(address_); }
    bool Write(size_t offset, const void* data, size_t size) const {
        SIZE_T done = 0;
        return ::WriteProcessMemory(process_, Address() + offset, data, size, &done) && done == size;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        SIZE_T done = 0;
        return ::ReadProcessMemory(process_, Address() + offset, data, size, &done) && done == size;
    }

private:
    HANDLE process_;
    void* address_;
};

// Selects exactly `rows` of a list view in `process`.
void SetRowSelection(HWND listView, HANDLE process, const std::vector<int>& rows);
// Moves the selection of a folder browser in `process` to `path`.
void SelectBrowserFolder(HWND browser, HANDLE process, const std::string& path);

// Every row of a report list view, read with buffers placed in `process` (the list's owner), so
// it works across processes as well as within one.
std::vector<ListedRow> ReadList(HWND listView, HANDLE process);
// A status bar's first part, through the same kind of buffer.
std::string ReadStatusText(HWND statusBar, HANDLE process);

// A fresh key that stands in for the classes root, removed afterwards. Under a volatile key no
// lasting key can be created, which makes the association's writes fail as missing rights would.
class TestRegistryRoot {
public:
    explicit TestRegistryRoot(bool volatileKey = false);
    ~TestRegistryRoot();
    TestRegistryRoot(const TestRegistryRoot&) = delete;
    TestRegistryRoot& operator=(const TestRegistryRoot&) = delete;
    HKEY Get() const { return key_.Get(); }

private:
    std::string name_;
    platform::win32::RegistryKey key_;
};

// A 16 x 16 icon file of one colour: one 32-bit image with its mask.
std::string MakeIconFile(uint32_t colour);
// The images of an icon file, in order.
std::vector<std::string> IconFileImages(const std::string& ico);
// The images of a program's icon group `group`, read from the program file as data.
std::vector<std::string> ProgramIconImages(const std::string& program, const char* group);
// The bytes of a program's version resource, read the same way; empty when it has none.
std::string ProgramVersionResource(const std::string& program);
// The window's area of the screen as a 24-bit BMP file, for the README and for a look by hand.
bool SaveScreenshot(HWND window, const std::string& path);
// The folder named by LARK_SCREENSHOTS in Wine's form, made when missing; empty when not set.
std::string ScreenshotFolder();

// The default value of `root\key`; "<missing>" when it cannot be read.
std::string DefaultValue(HKEY root, const std::string& key);
bool KeyExists(HKEY root, const std::string& key);

}  // namespace larktest
