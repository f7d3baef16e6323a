// Windows only: giving a program file the icon of an icon file or of another program.
#pragma once

#include <string>

// Replaces the icon group `groupName` of the program file `program` (not running, not loaded) by the
// icon of `iconSource`: all images of an ".ico" file, or the first icon group of a program or
// library, which is the icon ExtractIcon shows for it. False when the source holds no icon, the
// program has no such group, or the program file could not be updated.
bool ReplaceProgramIcon(const std::string& program, const char* groupName, const std::string& iconSource);
