// The host's own user is the console.
#include "platform/ConsoleUser.h"
#include "platform/User.h"

namespace platform {

std::unique_ptr<User> MakeNativeUser() { return std::make_unique<ConsoleUser>(); }

}  // namespace platform
