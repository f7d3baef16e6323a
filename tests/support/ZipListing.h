// The entry names an open TZip lists, in directory order, for tests that compare listings.
#pragma once

#include <string>
#include <vector>

#include "tzip/Zip.h"

namespace larktest {

inline std::vector<std::string> ListedNames(const TZip& zip) {
    std::vector<std::string> names;
    TFileInfo info;
    for (int32_t i = 0; i < zip.Count(); ++i) {
        zip.GetEntry(i, info);
        names.push_back(info.FileName);
    }
    return names;
}

}  // namespace larktest
