// Joining a stub and an archive into a self-extracting program, and stripping the stub again.
#pragma once

#include <string>
#include <vector>

namespace platform {
class Stream;
}

bool BuildSfx(const std::vector<std::string>& files, const std::string& outName);
bool StripSfxStub(const std::string& sfxName, const std::string& zipName);
// The stripping itself, from an open program into an empty stream (`sfxName` names the program in
// messages): false or a ZipException when the program holds no archive it can take out.
bool StripSfxStub(platform::Stream& input, platform::Stream& output, const std::string& sfxName);
