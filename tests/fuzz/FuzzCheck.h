// Checks inside fuzz targets. libFuzzer ignores what LLVMFuzzerTestOneInput returns, so a broken
// property must end the process to count as a finding, under libFuzzer and in the replay alike.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "%s:%d: FUZZ_CHECK failed: %s\n", __FILE__, __LINE__, \
                         #condition);                                                  \
            std::abort();                                                              \
        }                                                                              \
    } while (false)
