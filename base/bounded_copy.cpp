#include "base/bounded_copy.h"

void CopyTruncated(char* dst, std::size_t dstSize, const char* src) {
    if (!dst || dstSize == 0) return;
    if (!src) src = "";
    std::size_t n = 0;
    while (n + 1 < dstSize && src[n] != '\0') {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = '\0';
}
