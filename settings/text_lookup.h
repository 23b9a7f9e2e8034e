// Texts of the string table in the user's language.
#pragma once

#include <cstddef>

// The text of `id` in the current language (id for German, id + 10000 for any
// other language), in one shared 512-byte buffer that the next call
// overwrites. An id without a text gives the empty text.
const char* LoadText(unsigned id);

// The text of `id` itself, without the language offset, into out.
void LoadPlainText(unsigned id, char* out, std::size_t size);
