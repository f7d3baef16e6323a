// Included first into every file of sfx.bin: lets the compiler make std::string from the headers.
#pragma once

// The library's own std::string was built with exceptions and would bring in the unwinder and
// the demangler; with the explicit instantiations switched off the stub gets its own, small copy.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
