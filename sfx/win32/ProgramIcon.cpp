// Windows only: giving a program file the icon of an icon file or of another program.
#include "sfx/win32/ProgramIcon.h"

#include "platform/win32/WindowsApi.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "platform/Files.h"
#include "platform/Handle.h"

namespace {

// An icon file starts with the directory below; a program's icon group holds the same header and
// entries of 14 bytes, whose last field names an RT_ICON resource instead of a file offset.
constexpr size_t kDirHeaderSize = 6;     // reserved 0, type 1, count
constexpr size_t kFileEntrySize = 16;    // ... size at 8, file offset at 12
constexpr size_t kGroupEntrySize = 14;   // ... size at 8, resource id at 12
constexpr size_t kEntryImageSize = 8;
constexpr size_t kEntryPlace = 12;
constexpr uint16_t kIconType = 1;

using Bytes = std::vector<uint8_t>;

uint16_t U16(const Bytes& bytes, size_t at) { return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)); }
uint32_t U32(const Bytes& bytes, size_t at) { return U16(bytes, at) | (static_cast<uint32_t>(U16(bytes, at + 2)) << 16); }
void PutU16(Bytes& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// One icon: its images and, for each, the 12 leading bytes of its directory entry.
struct Icon {
    std::vector<Bytes> entries;
    std::vector<Bytes> images;
};

// The first `limit` bytes of a file (all of it by default); none when it cannot be opened.
Bytes ReadFileStart(const std::string& path, int64_t limit = INT32_MAX) {
    std::string error;
    const std::unique_ptr<platform::FileStream> file =
        platform::FileStream::Open(path, platform::Access::Read, platform::Share::DenyWrite, error);
    if (!file) return {};
    Bytes bytes(static_cast<size_t>(std::min(file->Size(), limit)));
    const int32_t read = bytes.empty() ? 0 : file->Read(bytes.data(), static_cast<int32_t>(bytes.size()));
    bytes.resize(static_cast<size_t>(std::max(read, 0)));
    return bytes;
}

// The icon directory's count, when `bytes` begins with a well-formed one of `entrySize` entries.
size_t DirectoryCount(const Bytes& bytes, size_t entrySize) {
    if (bytes.size() < kDirHeaderSize || U16(bytes, 0) != 0 || U16(bytes, 2) != kIconType) return 0;
    const size_t count = U16(bytes, 4);
    return bytes.size() >= kDirHeaderSize + count * entrySize ? count : 0;
}

bool ReadIconFile(const std::string& path, Icon& icon) {
    const Bytes bytes = ReadFileStart(path);
    const size_t count = DirectoryCount(bytes, kFileEntrySize);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kDirHeaderSize + i * kFileEntrySize;
        const uint64_t size = U32(bytes, entry + kEntryImageSize), offset = U32(bytes, entry + kEntryPlace);
        if (size == 0 || offset + size > bytes.size()) return false;  // a damaged file gives no icon
        icon.entries.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(entry),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(entry + kEntryPlace));
        icon.images.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    }
    return !icon.images.empty();
}

struct DataModulePolicy {
    using Value = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE module) { ::FreeLibrary(module); }
};
using DataModule = platform::UniqueHandle<DataModulePolicy>;

// A program or library loaded as data only: nothing of it runs.
DataModule LoadAsData(const std::string& path) {
    return DataModule(::LoadLibraryExW(platform::win32::Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

bool ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type, Bytes& bytes) {
    HRSRC found = ::FindResourceA(module, name, type);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* data = loaded ? static_cast<const uint8_t*>(::LockResource(loaded)) : nullptr;
    if (!data) return false;
    bytes.assign(data, data + ::SizeofResource(module, found));
    return true;
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    auto& first = *reinterpret_cast<std::string*>(found);
    // Numbered groups travel as "#id", which FindResource takes as well.
    first = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : std::string(name);
    return FALSE;
}

bool ReadModuleIcon(const std::string& path, Icon& icon) {
    DataModule module = LoadAsData(path);
    if (!module) return false;
    std::string firstGroup;
    ::EnumResourceNamesA(module.Get(), RT_GROUP_ICON, &TakeFirstName, reinterpret_cast<LONG_PTR>(&firstGroup));
    Bytes group;
    if (firstGroup.empty() || !ResourceBytes(module.Get(), firstGroup.c_str(), RT_GROUP_ICON, group)) return false;
    const size_t count = DirectoryCount(group, kGroupEntrySize);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kDirHeaderSize + i * kGroupEntrySize;
        Bytes image;
        if (!ResourceBytes(module.Get(), MAKEINTRESOURCEA(U16(group, entry + kEntryPlace)), RT_ICON, image)) return false;
        icon.entries.emplace_back(group.begin() + static_cast<std::ptrdiff_t>(entry),
                                  group.begin() + static_cast<std::ptrdiff_t>(entry + kEntryPlace));
        icon.images.push_back(std::move(image));
    }
    return !icon.images.empty();
}

bool IsIconFile(const std::string& path) {
    const Bytes head = ReadFileStart(path, 4);
    return head.size() == 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0;
}

BOOL CALLBACK TakeLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
    *reinterpret_cast<WORD*>(found) = language;
    return FALSE;
}

BOOL CALLBACK CollectIconIds(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::set<WORD>*>(ids)->insert(static_cast<WORD>(reinterpret_cast<uintptr_t>(name)));
    return TRUE;
}

// What the program holds now: the group's language, the images it names, every image id in use.
struct TargetIcons {
    WORD language = 0;
    std::vector<WORD> groupImages;
    std::set<WORD> usedImages;
};

bool ReadTarget(const std::string& program, const char* groupName, TargetIcons& target) {
    DataModule module = LoadAsData(program);
    Bytes group;
    if (!module || !ResourceBytes(module.Get(), groupName, RT_GROUP_ICON, group)) return false;
    ::EnumResourceLanguagesA(module.Get(), RT_GROUP_ICON, groupName, &TakeLanguage,
                             reinterpret_cast<LONG_PTR>(&target.language));
    const size_t count = DirectoryCount(group, kGroupEntrySize);
    for (size_t i = 0; i < count; ++i) target.groupImages.push_back(U16(group, kDirHeaderSize + i * kGroupEntrySize + kEntryPlace));
    ::EnumResourceNamesA(module.Get(), RT_ICON, &CollectIconIds, reinterpret_cast<LONG_PTR>(&target.usedImages));
    return true;
}

struct ResourceUpdatePolicy {
    using Value = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE update) { ::EndUpdateResourceA(update, TRUE); }  // discards what was not committed
};
using ResourceUpdate = platform::UniqueHandle<ResourceUpdatePolicy>;

}  // namespace

bool ReplaceProgramIcon(const std::string& program, const char* groupName, const std::string& iconSource) {
    Icon icon;
    if (!(IsIconFile(iconSource) ? ReadIconFile(iconSource, icon) : ReadModuleIcon(iconSource, icon))) return false;
    TargetIcons target;
    if (!ReadTarget(program, groupName, target)) return false;

    // The images of the group go; images other groups use keep their ids.
    std::set<WORD> taken = target.usedImages;
    for (WORD id : target.groupImages) taken.erase(id);
    ResourceUpdate update(::BeginUpdateResourceW(platform::win32::Wide(program).c_str(), FALSE));
    if (!update) return false;
    for (WORD id : target.groupImages)
        if (!::UpdateResourceA(update.Get(), RT_ICON, MAKEINTRESOURCEA(id), target.language, nullptr, 0)) return false;

    Bytes group(kDirHeaderSize + icon.images.size() * kGroupEntrySize, 0);
    PutU16(group, 2, kIconType);
    PutU16(group, 4, static_cast<uint16_t>(icon.images.size()));
    WORD next = 1;
    for (size_t i = 0; i < icon.images.size(); ++i) {
        while (taken.count(next)) ++next;
        const size_t entry = kDirHeaderSize + i * kGroupEntrySize;
        std::copy(icon.entries[i].begin(), icon.entries[i].end(), group.begin() + static_cast<std::ptrdiff_t>(entry));
        PutU16(group, entry + kEntryPlace, next);
        Bytes& image = icon.images[i];
        if (!::UpdateResourceA(update.Get(), RT_ICON, MAKEINTRESOURCEA(next), target.language, image.data(),
                               static_cast<DWORD>(image.size())))
            return false;
        ++next;
    }
    if (!::UpdateResourceA(update.Get(), RT_GROUP_ICON, groupName, target.language, group.data(),
                           static_cast<DWORD>(group.size())))
        return false;
    // Committed here; the handle is spent either way.
    const bool written = ::EndUpdateResourceA(update.Release(), FALSE) != FALSE;
    return written;
}
