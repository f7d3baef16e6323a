// Text: UTF-8 inside, the OEM and ANSI code pages of archives, the console's text and paths named on it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// One byte for one byte between the OEM and the ANSI code page.
std::string OemToAnsi(const std::string& text);
std::string AnsiToOem(const std::string& text);
// Names and comments that archives mark as UTF-8, to and from the ANSI code page. Characters the
// ANSI code page lacks become its replacement character, so these may change a text's length.
std::string Utf8ToAnsi(const std::string& text);
std::string AnsiToUtf8(const std::string& text);

// The program's arguments, argv[0] included, as UTF-8. Windows reads them from the wide command
// line: the narrow one has already lost every character its code page lacks.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Writes `text` to `stream`: through the console's wide calls when the stream is a console window,
// whose code page holds few scripts; as UTF-8 bytes otherwise (a file, a pipe, a host terminal).
void WriteText(std::FILE* stream, const std::string& text);
// A line read from the standard input, as UTF-8: a Windows console types in its own code page.
std::string TextFromConsole(const std::string& line);
// A path named on the command line, in the form the core uses (drive letter and backslashes).
std::string SystemPathFromArgument(const std::string& argument);
// Whether the standard error stream is a terminal (a console window), not a file or a pipe.
bool StandardErrorIsTerminal();

}  // namespace platform
