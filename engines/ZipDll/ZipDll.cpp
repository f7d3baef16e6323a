// The exports of ZipDll.dll; each ends in a barrier, as no exception may unwind into the caller.
#include <cstdio>
#include <cstring>
#include <exception>

#include "abi/EngineRecords.h"
#include "engines/ZipDll/Zipper.h"

namespace {

int32_t Execute(void* commandAddress) {
    engine::ZipCommand command;
    std::memcpy(command.data(), commandAddress, engine::ZipCommand::kSize);
    engines::Reporter reporter(command.U32(engine::ZipCommand::kCallback), command.U32(engine::ZipCommand::kCaller),
                               command.U32(engine::ZipCommand::kExtensions));
    try {
        const engines::ZipRequest request = engines::ReadZipCommand(command);
        return request.deleting ? engines::DeleteEntries(request, reporter) : engines::AddFiles(request, reporter);
    } catch (const std::exception& error) {
        reporter.Failed(error.what(), engine::kSkipWriteError);
    } catch (...) {
        reporter.Failed("ZipDll stopped on an unexpected error.", engine::kSkipWriteError);
    }
    return 0;
}

}  // namespace

extern "C" {

ENGINE_EXPORT uint32_t ENGINE_API GetZipDllVersion() { return engine::kEngineVersion; }

ENGINE_EXPORT int32_t ENGINE_API ZipDllExec(void* command) {
    if (!command) return 0;
    try {
        return Execute(command);
    } catch (...) {
        // Only a failure of the reporter itself lands here: the callback cannot be told any more.
        std::fputs("ZipDll: the callback failed; the operation stopped.\n", stderr);
        return 0;
    }
}

}  // extern "C"
