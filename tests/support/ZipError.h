// The message of the ZipException an action raises, for tests that compare it with the table.
#pragma once

#include <string>

#include "tzip/Zip.h"

namespace larktest {

// The message of the ZipException that `action` raises, or "" when it raises none.
template <class F>
std::string ZipError(F&& action) {
    try {
        action();
    } catch (const ZipException& e) {
        return e.what();
    }
    return "";
}

}  // namespace larktest
