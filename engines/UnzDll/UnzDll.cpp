// The exports of UnzDll.dll; each ends in a barrier, as no exception may unwind into the caller.
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>

#include "abi/EngineRecords.h"
#include "engines/UnzDll/Unzipper.h"

namespace {

int32_t Execute(void* commandAddress) {
    engine::UnzipCommand command;
    std::memcpy(command.data(), commandAddress, engine::UnzipCommand::kSize);
    engines::Reporter reporter(command.U32(engine::UnzipCommand::kCallback),
                               command.U32(engine::UnzipCommand::kCaller),
                               command.U32(engine::UnzipCommand::kExtensions));
    std::optional<engines::Unzipper> unzipper;
    try {
        unzipper.emplace(engines::ReadUnzipCommand(command), reporter);
        unzipper->Run();
    } catch (const std::exception& error) {
        reporter.Failed(error.what(), engine::kSkipReadError);
    } catch (...) {
        reporter.Failed("UnzDll stopped on an unexpected error.", engine::kSkipReadError);
    }
    // Files already extracted stay extracted, also when a later one failed.
    return unzipper ? unzipper->Extracted() : 0;
}

}  // namespace

extern "C" {

ENGINE_EXPORT uint32_t ENGINE_API GetUnzDllVersion() { return engine::kEngineVersion; }

ENGINE_EXPORT int32_t ENGINE_API UnzDllExec(void* command) {
    if (!command) return 0;
    try {
        return Execute(command);
    } catch (...) {
        // Only a failure of the reporter itself lands here: the callback cannot be told any more.
        std::fputs("UnzDll: the callback failed; the operation stopped.\n", stderr);
        return 0;
    }
}

}  // extern "C"
