// Helpers of the window tests: the message pump, window texts, remote list reading, registry values.
#include "tests/app/GuiTestSupport.h"

#include <algorithm>
#include <memory>

#include "platform/Platform.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace larktest {
namespace {

constexpr size_t kTextSize = 1024;

std::string CellText(HWND listView, const RemoteBuffer& buffer, int row, int column) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer.Address() + sizeof(LVITEMA);
    item.cchTextMax = kTextSize;
    buffer.Write(0, &item, sizeof item);
    const LRESULT length =
        ::SendMessageA(listView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(buffer.Address()));
    std::string text(kTextSize, '\0');
    if (length <= 0 || !buffer.Read(sizeof(LVITEMA), &text[0], kTextSize)) return std::string();
    text.resize(static_cast<size_t>(length));
    return text;
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
    char buffer[kTextSize] = {};
    const LRESULT length = ::SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
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
    RemoteBuffer buffer(process, sizeof(LVITEMA) + kTextSize);
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
    const LRESULT length = ::SendMessageA(statusBar, SB_GETTEXTLENGTHA, 0, 0) & 0xFFFF;
    RemoteBuffer buffer(process, static_cast<size_t>(length) + 1);
    if (!buffer.Address()) return "<no buffer>";
    ::SendMessageA(statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(buffer.Address()));
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0) buffer.Read(0, &text[0], static_cast<size_t>(length));
    return text;
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

}  // namespace larktest
