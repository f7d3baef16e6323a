// The one place that throws the platform's file error.
#include "platform/Platform.h"

namespace platform {

void RaiseFileError(const std::string& text) { throw FileError(text); }

}  // namespace platform
