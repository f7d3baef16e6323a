// The ".zip" file association, written under the classes root at every start.
#include "app/Main.h"

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
    if (::RegCreateKeyExA(root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return RegistryKey();
    return RegistryKey(key);
}

// Sets the key's default value; the error text names the (empty) value name.
std::string WriteDefaultValue(HKEY root, const std::string& name, const std::string& value) {
    RegistryKey key = OpenOrCreate(root, name);
    const bool written =
        key && ::RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    return written ? std::string() : FormatMsg(Msg::RegistrySetDataFailed, std::string());
}

}  // namespace

std::string RegisterZipAssociation(HKEY root, const std::string& programPath) {
    const std::string className = std::string(kExtension) + kClassSuffix;
    std::string error = WriteDefaultValue(root, std::string(".") + kExtension, className);
    if (!error.empty()) return error;
    if (!OpenOrCreate(root, className)) return FormatMsg(Msg::RegistryCreateKeyFailed, className);
    error = WriteDefaultValue(root, std::string(kExtension) + kIconKey, programPath + kIconIndex);
    if (!error.empty()) return error;
    return WriteDefaultValue(root, std::string(kExtension) + kOpenCommandKey, programPath + kOpenArgument);
}
