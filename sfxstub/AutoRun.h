// The stub's command line and its unattended run (/auto), which shows nothing and writes a log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sfxstub {

enum ExitCode : int { kExitAllExtracted = 0, kExitFailed = 1, kExitBadArguments = 2 };

struct StubArguments {
    bool unattended = false;  // /auto
    std::string destination;  // /d:FOLDER, empty when not given
    std::string password;     // /p:PASSWORD
    bool overwrite = false;   // /o
    std::string logFile;      // /log:FILE
};

// Reads the switches (any case) that follow the program's name; false for anything else.
bool ParseArguments(const std::vector<std::string>& arguments, StubArguments& parsed);

// The exit code for an extraction's counts: existing files kept on purpose are not failures.
int ExitCodeOf(int failed, bool cancelled);

// The settings' command line with "<?>" replaced by the destination folder (with its backslash),
// split into the file it names (quoted or up to the first space) and the parameters after it.
void SplitCommand(const std::string& commandLine, const std::string& destination, std::string& file,
                  std::string& parameters);

// Extracts the archive behind the program at `programPath`, whose own image is `imageSize` bytes,
// into the destination of `arguments` (else `defaultDestination`), writing every step and error to
// the log file when one is named. Returns the exit code.
int RunUnattended(const std::string& programPath, int64_t imageSize, const StubArguments& arguments,
                  const std::string& defaultDestination);

}  // namespace sfxstub
