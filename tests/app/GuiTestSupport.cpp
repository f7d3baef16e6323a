// Helpers of the window tests: the message pump, window texts, remote list reading, registry values.
#include "tests/app/GuiTestSupport.h"

#include "tests/support/ArchiveBuilder.h"

#include <algorithm>
#include <fstream>
#include <memory>

#include "platform/User.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace larktest {
namespace {

constexpr size_t kTextSize = 1024;

// The system's own conversion, not the program's: what the window shows is judged independently.
std::string SystemUtf8(const wchar_t* text, int length) {
    if (length <= 0) return std::string();
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

// Read with the wide message: the narrow one would hand back only what the ANSI page holds.
std::string CellText(HWND listView, const RemoteBuffer& buffer, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.Address() + sizeof(LVITEMW));
    item.cchTextMax = kTextSize;
    buffer.Write(0, &item, sizeof item);
    const LRESULT length =
        ::SendMessageW(listView, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buffer.Address()));
    std::wstring text(kTextSize, L'\0');
    if (length <= 0 || !buffer.Read(sizeof(LVITEMW), &text[0], kTextSize * sizeof(wchar_t))) return std::string();
    return SystemUtf8(text.data(), static_cast<int>(length));
}

int ImageOf(HWND listView, const RemoteBuffer& buffer, int row) {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    buffer.Write(0, &item, sizeof item);
    if (!::SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.Address()))) return -1;
    buffer.Read(0, &item, sizeof item);
    return item.iImage;
}

}  // namespace

bool DisplayAvailable() {
    return ::GetSystemMetrics(SM_CXSCREEN) > 0 && ::GetDesktopWindow() != nullptr &&
           ::GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0;
}

void PumpMessages() {
    static const std::unique_ptr<platform::User> native = platform::MakeNativeUser();
    native->ProcessMessages();
}

bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
        PumpMessages();
        ::Sleep(10);
    }
    return done();
}

std::string WindowText(HWND window) {
    wchar_t buffer[kTextSize] = {};
    const LRESULT length = ::SendMessageW(window, WM_GETTEXT, kTextSize, reinterpret_cast<LPARAM>(buffer));
    return SystemUtf8(buffer, static_cast<int>(length));
}

std::string LocaleSeparator(LCTYPE item) {
    char buffer[16] = {};
    ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof buffer);
    return buffer;
}

std::ostream& operator<<(std::ostream& out, const ListedRow& row) {
    return out << "{" << row.name << " | " << row.size << " | " << row.dateTime << " | " << row.comment << " | image "
               << row.image << "}";
}

std::vector<ListedRow> ReadList(HWND listView, HANDLE process) {
    RemoteBuffer buffer(process, sizeof(LVITEMW) + kTextSize * sizeof(wchar_t));
    std::vector<ListedRow> rows;
    if (!buffer.Address()) return rows;
    const int count = static_cast<int>(::SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        ListedRow listed;
        listed.name = CellText(listView, buffer, row, 0);
        listed.size = CellText(listView, buffer, row, 1);
        listed.dateTime = CellText(listView, buffer, row, 2);
        listed.comment = CellText(listView, buffer, row, 3);
        listed.image = ImageOf(listView, buffer, row);
        rows.push_back(listed);
    }
    return rows;
}

std::string ReadStatusText(HWND statusBar, HANDLE process) {
    const LRESULT length = ::SendMessageW(statusBar, SB_GETTEXTLENGTHW, 0, 0) & 0xFFFF;
    RemoteBuffer buffer(process, (static_cast<size_t>(length) + 1) * sizeof(wchar_t));
    if (!buffer.Address()) return "<no buffer>";
    ::SendMessageW(statusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buffer.Address()));
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0) buffer.Read(0, &text[0], static_cast<size_t>(length) * sizeof(wchar_t));
    return SystemUtf8(text.data(), static_cast<int>(length));
}

std::string DefaultValue(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return "<missing>";
    platform::win32::RegistryKey owned(opened);
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (::RegQueryValueExA(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "<missing>";
    return value;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    platform::win32::RegistryKey owned(opened);
    return true;
}

// The window's area of the screen as a 24-bit BMP file, for the README and for a look by hand.
bool SaveScreenshot(HWND window, const std::string& path) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    platform::win32::WindowDc screen(nullptr);
    platform::win32::MemoryDc memoryDc(::CreateCompatibleDC(screen.Get()));
    HDC memory = memoryDc.Get();
    platform::win32::GdiObject bitmap(::CreateCompatibleBitmap(screen.Get(), width, height));
    {
        platform::win32::SelectGuard selected(memory, bitmap.Get());
        ::BitBlt(memory, 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY);
    }
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    std::string pixels(static_cast<size_t>(rowBytes) * height, '\0');
    const int lines = ::GetDIBits(memory, static_cast<HBITMAP>(bitmap.Get()), 0, height, &pixels[0],
                                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    if (lines != height) return false;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

std::string ScreenshotFolder() {
    char folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("LARK_SCREENSHOTS", folder, sizeof folder) == 0) return std::string();
    // The variable holds the build folder's host path; Wine's Z: drive is the host's root.
    std::string path = std::string("Z:") + folder;
    for (char& c : path)
        if (c == '/') c = '\\';
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

TestRegistryRoot::TestRegistryRoot(bool volatileKey) {
    static int counter = 0;
    name_ = "Software\\Larkspool-tests\\" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr,
                      volatileKey ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr);
    key_.Reset(key);
}

TestRegistryRoot::~TestRegistryRoot() {
    key_.Reset();
    ::SHDeleteKeyA(HKEY_CURRENT_USER, name_.c_str());
}

void SetRowSelection(HWND listView, HANDLE process, const std::vector<int>& rows) {
    RemoteBuffer buffer(process, sizeof(LVITEMA));
    const int count = static_cast<int>(::SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = std::find(rows.begin(), rows.end(), row) != rows.end() ? LVIS_SELECTED : 0;
        buffer.Write(0, &item, sizeof item);
        ::SendMessageA(listView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(buffer.Address()));
    }
}

void SelectBrowserFolder(HWND browser, HANDLE process, const std::string& path) {
    RemoteBuffer buffer(process, path.size() + 1);
    buffer.Write(0, path.c_str(), path.size() + 1);
    ::SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(buffer.Address()));
}

// A 16 x 16 icon file of one colour: one 32-bit image with its mask.
std::string MakeIconFile(uint32_t colour) {
    const size_t imageSize = 40 + 16 * 16 * 4 + 16 * 4;
    std::string ico(6 + 16, '\0');
    PutU16(ico, 2, 1);
    PutU16(ico, 4, 1);
    ico[6] = 16;
    ico[7] = 16;
    PutU16(ico, 10, 1);
    PutU16(ico, 12, 32);
    PutU32(ico, 14, static_cast<uint32_t>(imageSize));
    PutU32(ico, 18, 22);
    std::string image(imageSize, '\0');
    PutU32(image, 0, 40);
    PutU32(image, 4, 16);
    PutU32(image, 8, 32);  // the colour and the mask rows
    PutU16(image, 12, 1);
    PutU16(image, 14, 32);
    for (size_t i = 0; i < 256; ++i) PutU32(image, 40 + i * 4, colour | 0xFF000000u);
    return ico + image;
}

// The images of an icon file, in order.
std::vector<std::string> IconFileImages(const std::string& ico) {
    std::vector<std::string> images;
    for (size_t i = 0; i < GetU16(ico, 4); ++i)
        images.push_back(ico.substr(GetU32(ico, 6 + i * 16 + 12), GetU32(ico, 6 + i * 16 + 8)));
    return images;
}

namespace {

// A program opened as data, for reading its resources; freed on every way out.
class ResourceFile {
public:
    explicit ResourceFile(const std::string& program)
        : module_(::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceFile() {
        if (module_) ::FreeLibrary(module_);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    // The bytes of one resource; empty when there is none.
    std::string Bytes(LPCSTR name, LPCSTR type) const {
        HRSRC found = module_ ? ::FindResourceA(module_, name, type) : nullptr;
        if (!found) return {};
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module_, found)));
        return std::string(data, ::SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

}  // namespace

// The images of a program's icon group `group`, read from the file as data.
std::vector<std::string> ProgramIconImages(const std::string& program, const char* group) {
    const ResourceFile file(program);
    std::vector<std::string> images;
    const std::string directory = file.Bytes(group, RT_GROUP_ICON);
    for (size_t i = 0; directory.size() >= 6 && i < GetU16(directory, 4); ++i)
        images.push_back(file.Bytes(MAKEINTRESOURCEA(GetU16(directory, 6 + i * 14 + 12)), RT_ICON));
    return images;
}

std::string ProgramVersionResource(const std::string& program) {
    return ResourceFile(program).Bytes(MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
}

}  // namespace larktest
