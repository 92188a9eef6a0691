// A property that fails stops the fuzzer and leaves the input behind.
#ifndef KORVANE_FUZZ_CHECK_H
#define KORVANE_FUZZ_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);      \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

#endif
