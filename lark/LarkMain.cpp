// lark: a console front end over the archive object, for scripts and for checking it from outside.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "lark/LarkCommands.h"
#include "platform/ConsoleUser.h"
#include "platform/Text.h"
#include "platform/User.h"

namespace {

constexpr size_t kAnyCount = SIZE_MAX;  // the command checks its own arguments

struct Command {
    const char* name;
    size_t argumentCount;
    const char* usage;
    int (*run)(const lark::Arguments&);
};

const Command kCommands[] = {
    {"--version", 0, "lark --version", lark::Version},
    {"list", 1, "lark list ARCHIVE", lark::List},
    {"comment", 2, "lark comment ARCHIVE TEXT", lark::Comment},
    {"file-comment", 3, "lark file-comment ARCHIVE INDEX TEXT", lark::FileComment},
    {"sfx", 3, "lark sfx STUB ARCHIVE OUT.exe", lark::Sfx},
    {"strip", 2, "lark strip PROGRAM OUT.zip", lark::Strip},
    {"add", kAnyCount, "lark add ARCHIVE [-r ROOTDIR] [-p PASSWORD [--aes]] [--trace FILE] FILE|PATTERN...", lark::Add},
    {"extract", kAnyCount, "lark extract ARCHIVE DESTDIR [-p PASSWORD] [-f] [-o] [--trace FILE] [NAME|PATTERN...]",
     lark::Extract},
    {"test", kAnyCount, "lark test ARCHIVE [-p PASSWORD] [NAME|PATTERN...]", lark::Test},
    {"delete", kAnyCount, "lark delete ARCHIVE [--trace FILE] NAME|PATTERN...", lark::Delete},
};

// What each option means, one line each, after the commands.
const char* const kOptionLines[] = {
    "-r ROOTDIR    add every file below ROOTDIR that the patterns match, with its folder names",
    "-p PASSWORD   the password to add, extract or test with",
    "--aes         add with strong encryption (AES-256) instead of the traditional cipher",
    "-f            extract flat, without the stored folder names",
    "-o            extract over existing files without asking (without it only older files are replaced)",
    "--trace FILE  write the engines' trace lines to FILE",
};

int Usage() {
    std::fputs("usage:\n", stderr);
    for (const Command& command : kCommands) std::fprintf(stderr, "  %s\n", command.usage);
    std::fputs("options:\n", stderr);
    for (const char* line : kOptionLines) std::fprintf(stderr, "  %s\n", line);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    if (arguments.size() < 2) return Usage();
    const std::string& name = arguments[1];
    const lark::Arguments args(arguments.begin() + 2, arguments.end());
    // Questions (the prompt for a disk, the engines' questions) are asked and answered on the console.
    platform::ConsoleUser console;
    struct Installed {
        explicit Installed(platform::User* user) { platform::SetCurrentUser(user); }
        ~Installed() { platform::SetCurrentUser(nullptr); }
    } installed(&console);
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        if (command.argumentCount != kAnyCount && args.size() != command.argumentCount) return Usage();
        try {
            const int result = command.run(args);
            return result == lark::kUsageError ? Usage() : result;
        } catch (const std::exception& error) {
            platform::WriteText(stderr, std::string(error.what()) + "\n");
            return 1;
        }
    }
    return Usage();
}
