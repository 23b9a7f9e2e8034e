#pragma once

#include <windows.h>

// Every message of the program is captioned with the program name.
constexpr char kProgramName[] = "Cribwatch";

inline int ShowMessage(HWND owner, const char* text, UINT style) {
    return ::MessageBoxA(owner, text, kProgramName, style);
}
