// The user every component talks to: the one installed, or the platform's own.
#include "platform/User.h"

namespace platform {
namespace {

User* gInstalledUser = nullptr;

}  // namespace

const char* const kApplicationTitle = "Larkspool";
const char* const kUnexpectedError = "An unexpected error ended the command.";

User& CurrentUser() {
    if (gInstalledUser) return *gInstalledUser;
    static std::unique_ptr<User> ownUser = MakeNativeUser();
    return *ownUser;
}

void SetCurrentUser(User* user) { gInstalledUser = user; }

}  // namespace platform
