// A message text with one value put in place of its "%s". No platform headers.
#pragma once

#include <cstddef>

// Fills `out` (size bytes, at most size - 1 characters) from `format`: the
// first "%s" receives `value`, "%%" gives "%", anything else is copied as it
// stands, so neither a stray placeholder in a resource text nor a "%" in the
// value is ever interpreted. Returns the number of characters written.
std::size_t FillPlaceholder(char* out, std::size_t size, const char* format, const char* value);
