// The benchmark's driver of the engine libraries: adds a folder tree or extracts an archive, as the
// component would, with no callback. Usage: engine_bench add ARCHIVE ROOTDIR LEVEL | extract ARCHIVE DEST [PASSWORD]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "abi/EngineRecords.h"
#include "platform/Library.h"
#include "platform/Text.h"

namespace {

using engine::UnzipCommand;
using engine::UnzipSpecEntry;
using engine::ZipCommand;
using engine::ZipSpecEntry;

uint32_t Word(const std::string& text) { return engine::AddressWord(text.c_str()); }

template <typename T>
T Export(const platform::LibraryHandle& library, const char* name) {
    return reinterpret_cast<T>(platform::GetProcAddress(library, name));
}

int Add(const std::string& archive, const std::string& root, uint32_t level) {
    const platform::LibraryHandle library = platform::LoadLibrary(engine::kZipDllName);
    const auto exec = Export<engine::ExecFn>(library, engine::kZipDllExecName);
    if (!exec) return 2;
    const std::string spec = "*.*";
    const std::string empty;
    ZipCommand command;
    command.SetU32(ZipCommand::kVersion, engine::kMinEngineVersion);
    command.SetU32(ZipCommand::kLevel, level);
    command.SetU32(ZipCommand::kAdding, engine::kTrue);
    command.SetU16(ZipCommand::kRecurse, engine::kTrue16);
    // As zip -D: the small-file tree's 65535 files leave no room for entries of their folders.
    command.SetU32(ZipCommand::kNoFolderEntries, engine::kTrue);
    command.SetU32(ZipCommand::kZipFileName, Word(archive));
    command.SetU32(ZipCommand::kTempDir, Word(empty));
    ZipSpecEntry entry;
    entry.SetU32(ZipSpecEntry::kSpec, Word(spec));
    entry.SetU16(ZipSpecEntry::kRecurse, engine::kTrue16);
    entry.SetU32(ZipSpecEntry::kRootDir, Word(root));
    command.SetU32(ZipCommand::kSpecCount, 1);
    command.SetU32(ZipCommand::kSpecs, engine::AddressWord(entry.data()));
    command.SetU32(ZipCommand::kTrailer, engine::kRecordTrailer);
    return exec(command.data()) > 0 ? 0 : 1;
}

int Extract(const std::string& archive, const std::string& destination, const std::string& password) {
    const platform::LibraryHandle library = platform::LoadLibrary(engine::kUnzDllName);
    const auto exec = Export<engine::ExecFn>(library, engine::kUnzDllExecName);
    if (!exec) return 2;
    UnzipCommand command;
    command.SetU32(UnzipCommand::kVersion, engine::kMinEngineVersion);
    command.SetU32(UnzipCommand::kUseFolders, engine::kTrue);
    command.SetU32(UnzipCommand::kOverwriteAll, engine::kTrue);
    command.SetU32(UnzipCommand::kPasswordAttempts, engine::kPasswordAttempts);
    command.SetU32(UnzipCommand::kZipFileName, Word(archive));
    command.SetU32(UnzipCommand::kDestination, Word(destination));
    if (!password.empty()) command.SetU32(UnzipCommand::kPassword, Word(password));
    command.SetU32(UnzipCommand::kTrailer, engine::kRecordTrailer);
    return exec(command.data()) > 0 ? 0 : 1;
}

std::string Folder(const std::string& argument) {
    std::string path = platform::SystemPathFromArgument(argument);
    return path.empty() || path.back() == '\\' ? path : path + "\\";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "add") == 0) {
        return Add(platform::SystemPathFromArgument(argv[2]), Folder(argv[3]),
                   static_cast<uint32_t>(std::atoi(argv[4])));
    }
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "extract") == 0) {
        return Extract(platform::SystemPathFromArgument(argv[2]), Folder(argv[3]), argc == 5 ? argv[4] : "");
    }
    std::fprintf(stderr, "usage: engine_bench add ARCHIVE ROOTDIR LEVEL | extract ARCHIVE DEST [PASSWORD]\n");
    return 2;
}
