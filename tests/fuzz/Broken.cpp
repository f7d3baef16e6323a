// The end of a fuzz run whose input broke a promise of the code under test.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzTargets.h"

void Broken(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}
