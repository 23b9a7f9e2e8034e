// A message text with values put in place of its "%s". No platform headers.
#pragma once

#include <cstddef>

// Fills `out` (size bytes, at most size - 1 characters) from `format`: the
// first `count` "%s" receive `values` in order (a null value is empty), "%%"
// gives "%", anything else is copied as it stands, so neither a stray
// placeholder in a resource text nor a "%" in a value is ever interpreted.
// Returns the number of characters written.
std::size_t FillPlaceholders(char* out, std::size_t size, const char* format,
                             const char* const* values, std::size_t count);

// The same with one value.
inline std::size_t FillPlaceholder(char* out, std::size_t size, const char* format, const char* value) {
    return FillPlaceholders(out, size, format, &value, 1);
}
