// The ".zip" file association, written at start when it is not ours already.
#include "app/Main.h"

#include <vector>

using platform::win32::RegistryKey;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr const char* kExtension = "zip";
constexpr const char* kClassSuffix = "file";
constexpr const char* kIconKey = "file\\DefaultIcon";
constexpr const char* kOpenCommandKey = "file\\shell\\open\\command";
constexpr const char* kIconIndex = ",0";
constexpr const char* kOpenArgument = " \"%1\"";

// Opens `name`, creating it when missing; an invalid key when that fails, which the write then reports.
RegistryKey OpenOrCreate(HKEY root, const std::string& name) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, platform::win32::Wide(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
        return RegistryKey();
    return RegistryKey(key);
}

// Sets the key's default value; the error text names the (empty) value name.
std::string WriteDefaultValue(HKEY root, const std::string& name, const std::string& value) {
    RegistryKey key = OpenOrCreate(root, name);
    const std::wstring wide = platform::win32::Wide(value);
    const bool written =
        key && ::RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    return written ? std::string() : FormatMsg(Msg::RegistrySetDataFailed, std::string());
}

// The key's default value; empty when the key or the value cannot be read.
std::string ReadDefaultValue(HKEY root, const std::string& name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, platform::win32::Wide(name).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::string();
    RegistryKey key(opened);
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::string();
    return platform::win32::Utf8(value);
}

// The values the association holds: the extension's class, the icon and the open command. The
// command quotes the program's path, which may hold spaces ("C:\Program Files\...").
struct AssociationValues {
    std::string key;
    std::string value;
};

std::vector<AssociationValues> Values(const std::string& programPath) {
    const std::string className = std::string(kExtension) + kClassSuffix;
    return {{std::string(".") + kExtension, className},
            {std::string(kExtension) + kIconKey, programPath + kIconIndex},
            {std::string(kExtension) + kOpenCommandKey, "\"" + programPath + "\"" + kOpenArgument}};
}

bool AlreadyOurs(HKEY root, const std::string& programPath) {
    for (const AssociationValues& v : Values(programPath))
        if (ReadDefaultValue(root, v.key) != v.value) return false;
    return true;
}

std::string WriteAssociation(HKEY root, const std::string& programPath) {
    const std::string className = std::string(kExtension) + kClassSuffix;
    const std::vector<AssociationValues> values = Values(programPath);
    std::string error = WriteDefaultValue(root, values[0].key, values[0].value);
    if (!error.empty()) return error;
    if (!OpenOrCreate(root, className)) return FormatMsg(Msg::RegistryCreateKeyFailed, className);
    error = WriteDefaultValue(root, values[1].key, values[1].value);
    if (!error.empty()) return error;
    return WriteDefaultValue(root, values[2].key, values[2].value);
}

}  // namespace

std::string RegisterZipAssociation(HKEY root, HKEY userRoot, const std::string& programPath) {
    // Written only when it is not ours already, so a start without rights has nothing to write.
    if (AlreadyOurs(root, programPath)) return std::string();
    const std::string error = WriteAssociation(root, programPath);
    if (error.empty()) return error;
    // Without rights to the machine-wide classes, the user's own classes, which Windows reads first.
    RegistryKey userClasses;
    if (!userRoot) {
        userClasses = OpenOrCreate(HKEY_CURRENT_USER, "Software\\Classes");
        userRoot = userClasses.Get();
    }
    if (userRoot && WriteAssociation(userRoot, programPath).empty()) return std::string();
    return error;
}
