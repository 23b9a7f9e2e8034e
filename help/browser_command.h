// The browser program out of the command registered for http, such as
//   "C:\Program Files\Web\web.exe" -osint -url "%1"
// No platform headers.
#pragma once

#include <cstddef>

// Writes the program path of `command` into out (size bytes, cut to fit,
// always terminated when size > 0):
// - with two or more double quotes, the text between the first and the next;
// - with a single double quote, the command unchanged;
// - without quotes, the text before the first blank after the last backslash
//   (when that backslash is not the first character and a blank follows it),
//   else the command unchanged.
// A null command counts as empty.
void BrowserProgramOf(const char* command, char* out, std::size_t size);
