// What an archive object keeps of its engine calls: the busy mark, the trace file, the progress window, a failure.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "engine/ProgressForm.h"
#include "platform/Files.h"

namespace engine {

struct EngineSession {
    bool busy = false;
    bool engineCalled = false;   // the current operation reached the engine's exec function
    bool addWithBackup = false;  // RunZipDll runs inside AddFiles, whose backup answers a Cancel
    std::exception_ptr callbackFailure;
    ProgressFormFactory makeProgressForm = MakeNullProgressForm;
    std::string lastMessage;     // the engine's action-4 line when it was the callback just before
    std::unique_ptr<TProgressForm> progressForm;
    std::unique_ptr<platform::FileStream> traceStream;
};

}  // namespace engine
