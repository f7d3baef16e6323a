// sfx.bin's entry: reads its settings and its command line, then runs the window or the /auto run.
#include <windows.h>

#include <algorithm>

#include "StubWindow.h"
#include "engines/common/Text.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/win32/WindowsApi.h"
#include "sfxstub/AutoRun.h"
#include "abi/SfxSettings.h"

// The settings as built; a customised copy of the stub carries other bytes here. Kept whole in
// read-only data so that writers find it in the file by its marker.
extern const sfxsettings::Block gSfxSettingsBlock;
__attribute__((used)) const sfxsettings::Block gSfxSettingsBlock = sfxsettings::kDefaultBlock;

namespace {

using namespace sfxstub;

sfxsettings::SfxSettings ReadOwnSettings() {
    // The compiler knows the block's bytes as built; reading through an opaque pointer makes it
    // read the bytes the file actually carried into memory.
    const uint8_t* bytes = gSfxSettingsBlock.data();
    asm volatile("" : "+r"(bytes));
    sfxsettings::SfxSettings settings;
    if (!sfxsettings::ReadBlock(bytes, sfxsettings::kBlockSize, settings)) settings = sfxsettings::SfxSettings();
    return settings;
}

// Where the program's own file image ends: the end of its last section. An archive joined to the
// program starts there.
int64_t OwnImageSize() {
    const auto* base = reinterpret_cast<const uint8_t*>(::GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    int64_t end = nt->OptionalHeader.SizeOfHeaders;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->SizeOfRawData == 0) continue;
        end = std::max<int64_t>(end, int64_t{section->PointerToRawData} + section->SizeOfRawData);
    }
    return end;
}

// The folder offered first: the settings' folder, its %NAME% variables expanded (a setup names
// %ProgramFiles%, which differs between machines and languages), else the program's own folder.
std::string DefaultDestination(const sfxsettings::SfxSettings& settings, const std::string& programPath) {
    if (settings.destination.empty()) return engines::FolderPart(programPath);
    char expanded[MAX_PATH];
    const DWORD length = ::ExpandEnvironmentStringsA(settings.destination.c_str(), expanded, sizeof expanded);
    const std::string folder = length > 0 && length <= sizeof expanded ? std::string(expanded) : settings.destination;
    return platform::AnsiToUtf8(folder);  // the settings block holds ANSI text
}

void ShowError(const std::string& text, const std::string& caption) {
    ::MessageBoxW(nullptr, platform::win32::Wide(text).c_str(), platform::win32::Wide(platform::AnsiToUtf8(caption)).c_str(),
                  MB_OK | MB_ICONERROR);
}

int RunWindow(const std::string& programPath, const WindowInputs& inputs) {
    const std::string& caption = inputs.settings.caption;
    SfxArchive archive;
    switch (archive.Open(programPath, OwnImageSize())) {
    case SfxArchive::Status::Ok:
        break;
    case SfxArchive::Status::NoArchive:
        ShowError(MsgText(StubMsg::NoArchive), caption);
        return kExitFailed;
    case SfxArchive::Status::CannotOpen:
        ShowError(FormatStubMsg(StubMsg::CannotOpenSelf, archive.Error()), caption);
        return kExitFailed;
    case SfxArchive::Status::Damaged:
        ShowError(FormatStubMsg(StubMsg::Damaged, archive.Error()), caption);
        return kExitFailed;
    }
    return StubWindow(archive, inputs).Run();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    WindowInputs inputs;
    inputs.settings = ReadOwnSettings();
    const std::string programPath = platform::ModuleFileName();
    inputs.defaultDestination = DefaultDestination(inputs.settings, programPath);
    // The narrow command line, as UTF-8 like every text inside: the wide one would import the shell
    // into every unattended run.
    std::vector<std::string> arguments;
    for (int i = 1; i < __argc; ++i) arguments.push_back(platform::AnsiToUtf8(__argv[i]));
    if (!ParseArguments(arguments, inputs.arguments)) {
        // Unattended runs stay silent; their caller reads the exit code.
        const bool unattended = std::find_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
                                    return engines::FoldName(argument) == "/auto";
                                }) != arguments.end();
        if (!unattended) ShowError(MsgText(StubMsg::Usage), inputs.settings.caption);
        return kExitBadArguments;
    }
    if (inputs.arguments.unattended) {
        return RunUnattended(programPath, OwnImageSize(), inputs.arguments, inputs.defaultDestination);
    }
    return RunWindow(programPath, inputs);
}
