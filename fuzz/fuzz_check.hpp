#pragma once
// A failed expectation in a fuzz target: print it and abort, so libFuzzer
// keeps the input as a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_EXPECT(cond)                                                                       \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
