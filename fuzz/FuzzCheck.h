#pragma once

#include <cstdio>
#include <cstdlib>

// A property that must hold for every input. Unlike assert() it stays on in
// any build, and it says which property broke before libFuzzer saves the
// input that broke it.
#define FUZZ_CHECK(condition, what)                                                     \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "%s:%d: property violated: %s (%s)\n", __FILE__, __LINE__, \
                         what, #condition);                                             \
            std::abort();                                                               \
        }                                                                               \
    } while (0)
