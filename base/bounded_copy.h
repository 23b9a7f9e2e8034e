// Bounded text copies. No platform headers.
#pragma once

#include <cstddef>

// Copies src into dst (dstSize bytes), cut to fit, always terminated; a null
// src counts as empty.
void CopyTruncated(char* dst, std::size_t dstSize, const char* src);

// Copies a fixed text field, which may lack its terminator, into a buffer of
// the same size; returns the copy.
template <std::size_t N>
const char* CopyField(char (&out)[N], const char (&field)[N]) {
    CopyTruncated(out, N, field);
    return out;
}
