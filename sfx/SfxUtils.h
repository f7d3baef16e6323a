// Joining a stub and an archive into a self-extracting program, and stripping the stub again.
#pragma once

#include <string>
#include <vector>

bool BuildSfx(const std::vector<std::string>& files, const std::string& outName);
bool StripSfxStub(const std::string& sfxName, const std::string& zipName);
