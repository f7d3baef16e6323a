// One fuzz input through UnzDll's own code, linked into the replay: extracted, counted, removed.
#include "tests/fuzz/FuzzTargets.h"

#include <cstring>

#include "abi/EngineRecords.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"

extern "C" ENGINE_EXPORT int32_t ENGINE_API UnzDllExec(void* command);

namespace {

int32_t gNotProcessed = 0;

// Every question answered No (the fields stay zero), every file not processed counted.
int32_t ENGINE_API CountingCallback(void* info) {
    uint32_t action = 0;
    std::memcpy(&action, static_cast<uint8_t*>(info) + engine::EngineCallbackInfo::kAction, 4);
    if (action == engine::kActionSkipped) ++gNotProcessed;
    return 0;
}

void RemoveTree(const std::string& folder) {
    for (const platform::FileDetails& item : platform::ListDirectory(folder)) {
        const std::string path = folder + "\\" + item.name;
        if (item.IsDirectory()) {
            RemoveTree(path);
            platform::RemoveDirectory(path);
        } else {
            platform::DeleteFile(path);
        }
    }
}

}  // namespace

std::string RunEngineInput(const uint8_t* data, size_t size) {
    const std::string archive = platform::MakeProcessTempFile(platform::GetTempPath(), "lfe");
    const std::string folder = archive + ".out";
    if (archive.empty() || !platform::CreateDirectory(folder)) return "no scratch space";
    {
        platform::FileStream out(archive, platform::Access::Create);
        out.Write(data, static_cast<int32_t>(size));
    }
    const std::string destination = folder + "\\";
    engine::UnzipCommand command;
    command.SetU32(engine::UnzipCommand::kCallback, engine::AddressWord(reinterpret_cast<void*>(&CountingCallback)));
    command.SetU32(engine::UnzipCommand::kUseFolders, engine::kTrue);
    command.SetU32(engine::UnzipCommand::kAskOverwrite, engine::kTrue);
    command.SetU32(engine::UnzipCommand::kZipFileName, engine::AddressWord(archive.c_str()));
    command.SetU32(engine::UnzipCommand::kDestination, engine::AddressWord(destination.c_str()));
    gNotProcessed = 0;
    const int32_t extracted = UnzDllExec(command.data());
    RemoveTree(folder);
    platform::RemoveDirectory(folder);
    platform::DeleteFile(archive);
    return std::to_string(extracted) + " extracted, " + std::to_string(gNotProcessed) + " not";
}
