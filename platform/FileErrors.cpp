// The one place that throws the platform's file error.
#include "platform/Files.h"

namespace platform {

void RaiseFileError(const std::string& text) { throw FileError(text); }

}  // namespace platform
