// Loading and storing the settings record at its fixed moments.
#pragma once

#include <windows.h>

// Fills the settings from the profile; at the first start the language
// dialog, owned by `owner`, asks for the language first.
void LoadSettings(HWND owner);

// At exit: "Language", then "Reaction".
void SaveExitSettings();

// Writes one key of the settings section from the record, by its text id
// (the key names are texts 50001..50007).
void WriteSettingsKey(unsigned keyId);
