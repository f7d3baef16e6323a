// Text: the OEM and ANSI code pages, UTF-8 names and comments, the console's text and paths named on it.
#pragma once

#include <string>

namespace platform {

// One byte for one byte between the OEM and the ANSI code page.
std::string OemToAnsi(const std::string& text);
std::string AnsiToOem(const std::string& text);
// Names and comments that archives mark as UTF-8, to and from the ANSI code page. Characters the
// ANSI code page lacks become its replacement character, so these may change a text's length.
std::string Utf8ToAnsi(const std::string& text);
std::string AnsiToUtf8(const std::string& text);

// Command-line and console text: the ANSI code page inside, the terminal's encoding outside
// (UTF-8 on the host, the ANSI code page itself on Windows).
std::string AnsiFromConsole(const std::string& text);
std::string AnsiToConsole(const std::string& text);
// A path named on the command line, in the form the core uses (drive letter and backslashes).
std::string SystemPathFromArgument(const std::string& argument);
// Whether the standard error stream is a terminal (a console window), not a file or a pipe.
bool StandardErrorIsTerminal();

}  // namespace platform
