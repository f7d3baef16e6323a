// lark: a console front end over the archive object, for scripts and for checking it from outside.
#include <cstdio>
#include <exception>
#include <string>

#include "lark/LarkCommands.h"
#include "platform/ConsoleUser.h"
#include "platform/Platform.h"

namespace {

struct Command {
    const char* name;
    size_t argumentCount;
    const char* usage;
    int (*run)(const lark::Arguments&);
};

const Command kCommands[] = {
    {"list", 1, "lark list ARCHIVE", lark::List},
    {"comment", 2, "lark comment ARCHIVE TEXT", lark::Comment},
    {"file-comment", 3, "lark file-comment ARCHIVE INDEX TEXT", lark::FileComment},
    {"sfx", 3, "lark sfx STUB ARCHIVE OUT.exe", lark::Sfx},
    {"strip", 2, "lark strip PROGRAM OUT.zip", lark::Strip},
};

int Usage() {
    std::fputs("usage:\n", stderr);
    for (const Command& command : kCommands) std::fprintf(stderr, "  %s\n", command.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string name = argv[1];
    const lark::Arguments args(argv + 2, argv + argc);
    // Questions (such as the prompt for a disk) are asked and answered on the console.
    platform::ConsoleUser console;
    struct Installed {
        explicit Installed(platform::User* user) { platform::SetCurrentUser(user); }
        ~Installed() { platform::SetCurrentUser(nullptr); }
    } installed(&console);
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        if (args.size() != command.argumentCount) return Usage();
        try {
            return command.run(args);
        } catch (const std::exception& error) {
            std::fputs((platform::AnsiToConsole(error.what()) + "\n").c_str(), stderr);
            return 1;
        }
    }
    return Usage();
}
