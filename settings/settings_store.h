// Loading and storing the settings record at its fixed moments.
#pragma once

#include <windows.h>

// Fills the settings from the profile. At the first start (no language
// stored) askLanguage(owner) runs first; it sets the language itself.
using LanguageQuestion = void (*)(HWND owner);
void LoadSettings(HWND owner, LanguageQuestion askLanguage);

// At exit: "Language", then "Reaction".
void SaveExitSettings();

// Writes one key of the settings section from the record, by its text id
// (the key names are texts 50001..50007).
void WriteSettingsKey(unsigned keyId);
