// Loading and storing the settings record at its fixed moments.
#pragma once

class CAppDlg;

// Fills the settings from the profile (asking for the language at the first
// start), then has the main window apply its texts and recomputes the scales.
void LoadSettings(CAppDlg& mainWindow);

// At exit: "Language", then "Reaction".
void SaveExitSettings();

// Writes one key of the settings section from the record, by its text id
// (the key names are texts 50001..50007).
void WriteSettingsKey(unsigned keyId);
