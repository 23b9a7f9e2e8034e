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

// The settings dialog's connection test with the number typed there: text
// 1003 when it is empty; else the question 1002 with the number, and on Yes
// a call through the channel in force, under the wait cursor, with text 1004
// when the softphone's window was not found. Messages are owned by `owner`.
void RunConnectionTest(HWND owner, const char* number);
