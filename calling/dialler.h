// Places the alarm call through the configured channel; owns the modem's port.
#pragma once

#include <windows.h>

// 1 when the softphone's window was not found even after starting its
// program; -1 in every other case.
int DialNumber(const char* number);

// Opens the modem port from the settings and sends "ATE0"; shows text 1008
// in a message box owned by `owner` when the port cannot be opened.
void OpenModemPort(HWND owner);

// Closes the modem port if one is open.
void CloseModemPort();
