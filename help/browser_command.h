// The browser program out of the command registered for http, such as
//   "C:\Program Files\Web\web.exe" -osint -url "%1"
// No platform headers.
#pragma once

#include <cstddef>

// Writes the program path of `command` into out (size bytes, cut to fit,
// always terminated when size > 0):
// - starting with a double quote, the text up to the next one (without a
//   next one, the command unchanged);
// - else the text before the first blank after the last backslash ahead of
//   any double quote (when that backslash is not the first character and a
//   blank follows it), else the command unchanged, as in
//   C:\PROGRA~1\WEB\WEB.EXE -url "%1".
// A null command counts as empty.
void BrowserProgramOf(const char* command, char* out, std::size_t size);

// `name` in the folder of the program at `programPath`, such as
// "C:\Program Files\Cribwatch\CribPC-Ger.chm"; just `name` when the path
// has no folder or the whole does not fit into out (size bytes).
void BesideProgram(const char* programPath, const char* name, char* out, std::size_t size);
