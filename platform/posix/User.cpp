// The host's own user is the console.
#include "platform/ConsoleUser.h"
#include "platform/Native.h"

namespace platform::native {

std::unique_ptr<User> MakeUser() { return std::make_unique<ConsoleUser>(); }

}  // namespace platform::native
