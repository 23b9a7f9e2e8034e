// The per-user profile: text values by section and key in the registry under
// HKEY_CURRENT_USER\Software\<company>\<program file name without extension>\<section>.
#pragma once

#include <cstddef>

// Selects the company key; the application name comes from the program file.
void ProfileSetRegistryKey(const char* company);

// Reads a string value into out (cut to size - 1 characters); the default
// when the value is absent or not a string.
void ProfileGetText(const char* section, const char* key, const char* defaultText, char* out,
                    std::size_t size);

// Creates or replaces a string value; false when it could not be written.
bool ProfileWriteText(const char* section, const char* key, const char* value);
