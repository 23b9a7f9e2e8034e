// Help, the contact links and the Mixer button: the outside programs the
// main window and the About box start. None of them reports a failure.
#pragma once

#include <windows.h>

#include <cstddef>

// The maker's web site and contact address.
constexpr char kWebSiteUrl[] = "https://kestrelon.example/cribwatch";
constexpr char kContactMailUrl[] = "mailto:cribwatch@kestrelon.example";

// Opens the help file of the current language at its welcome topic; for a
// language other than German (0) and English (1) nothing.
void ShowHelp(HWND owner);

// The HTML Help control's HtmlHelpA with these arguments, loaded once; 0
// when the control or its entry is not available. After a failed load no
// other load is tried.
HWND CallHtmlHelp(HWND owner, const char* file, UINT command, const char* data);

// The registered path of the HTML Help control into path (260 bytes); 1 when
// there is one, else 0.
int FindHelpControl(char* path);

// Starts the browser registered for http with the web site.
void OpenWebSite();

// Hands the contact mailto: URL to the mail client, owned by the parent of
// `window` (no owner when it has none).
void OpenMailClient(HWND window);

// Starts the system's volume control: "sndvol32.exe" of the system folder,
// or "sndvol.exe" there when the former does not exist.
void StartVolumeControl();
