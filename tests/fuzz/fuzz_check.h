// The check of a fuzz target: a broken invariant reports where and aborts,
// which libFuzzer records as a finding together with its input.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition)                                                       \
    do {                                                                            \
        if (!(condition)) {                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__,   \
                         #condition);                                               \
            std::abort();                                                           \
        }                                                                           \
    } while (0)

// True when the n bytes at p hold a NUL, i.e. a text there ends in bounds.
inline bool TerminatedWithin(const char* p, std::size_t n) {
    return std::memchr(p, '\0', n) != nullptr;
}

// True when the n bytes at p all are `fill`. (Library calls rather than
// loops keep the fuzzer's comparison tracing out of these checks.)
inline bool AllBytesAre(const void* p, unsigned char fill, std::size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    return n == 0 || (b[0] == fill && std::memcmp(b, b + 1, n - 1) == 0);
}
