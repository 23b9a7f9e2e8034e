// Profile value rules: integers, comma-separated fields, blanks, and the
// text formats of the stored keys. No platform headers.
#pragma once

#include <cstddef>

#include "base/bounded_copy.h"
#include "base/monitor_settings.h"

// Size of the working buffer a profile value is read into (511 characters).
constexpr std::size_t kProfileBufferSize = 512;
constexpr int kMaxProfileFields = 3;

// Leading white space skipped, optional sign, decimal digits up to the first
// other character; no digits gives 0. Values beyond the int range are clamped.
int ParseProfileInt(const char* text);

// Removes blanks (spaces only) from the end of text, in place.
void TrimTrailingBlanks(char* text);

// Removes every comma from a call number, in place: the stored value holds
// the number, the delay and the maximum separated by commas.
void RemoveCommas(char* text);

// Splits at commas: leading commas skipped, a run of commas is one separator,
// blanks stay in the field; only the first three fields are kept. Returns the
// number of fields found (0..3). The value is cut to the working buffer first.
struct ProfileFields {
    int count;
    char field[kMaxProfileFields][kProfileBufferSize];
};
void SplitFields(const char* value, ProfileFields& out);

// Apply a stored value to the record; missing fields leave settings unchanged.
void ApplyCallParams(MonitorSettings& s, const char* value);  // number, delay, max
void ApplyReaction(MonitorSettings& s, const char* value);    // three sliders
void ApplyModem(MonitorSettings& s, const char* value);       // port, baud, command

// The stored text of each key (into a working buffer of kProfileBufferSize).
void FormatInt(char* out, std::size_t size, int value);
void FormatCallParams(char* out, std::size_t size, const MonitorSettings& s);
void FormatReaction(char* out, std::size_t size, const MonitorSettings& s);
void FormatModem(char* out, std::size_t size, const MonitorSettings& s);

// "<folder>\1&1\1&1 SoftPhone\ipphone.exe", cut to fit.
void FormatDefaultSoftPhonePath(char* out, std::size_t size, const char* programFolder);

// The text id for the current language: id for German (0), id + 10000 else.
unsigned TextIdForLanguage(unsigned id, int language);
