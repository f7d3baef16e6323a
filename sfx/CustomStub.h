// A customised copy of the stub: the settings chosen for one self-extracting program written into its block.
#pragma once

#include <string>

#include "abi/SfxSettings.h"

// Writes `stubName` to `outName` with `settings` in its settings block; every other byte is copied as
// it is. False when the stub holds no block or a text does not fit it (`outName` is then left as it
// was). A stub that cannot be read, or a copy that cannot be written, raises the file layer's error.
bool WriteCustomStub(const std::string& stubName, const sfxsettings::SfxSettings& settings, const std::string& outName);
