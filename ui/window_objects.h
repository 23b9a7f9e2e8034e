// Window-bound objects that are given back on destruction: a window timer and
// an icon in the notification area.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstring>

class WindowTimer {
public:
    WindowTimer() = default;
    ~WindowTimer() { Stop(); }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;

    bool Start(HWND window, UINT_PTR timerId, UINT periodMs) {
        Stop();
        if (!::SetTimer(window, timerId, periodMs, nullptr)) return false;
        hwnd = window;
        id = timerId;
        return true;
    }
    void Stop() {
        if (hwnd) ::KillTimer(hwnd, id);
        hwnd = nullptr;
    }

private:
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
};

#ifndef NOTIFYICONDATAA_V1_SIZE
#define NOTIFYICONDATAA_V1_SIZE FIELD_OFFSET(NOTIFYICONDATAA, szTip[64])
#endif

class TrayIcon {
public:
    TrayIcon() { std::memset(&data, 0, sizeof data); }
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Adds the icon once (the first layout of the record, understood by
    // every shell); `tip` is cut to 63 characters.
    void Add(HWND window, UINT iconId, UINT callbackMessage, HICON icon, const char* tip) {
        if (added) return;
        std::memset(&data, 0, sizeof data);
        data.cbSize = NOTIFYICONDATAA_V1_SIZE;
        data.hWnd = window;
        data.uID = iconId;
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = callbackMessage;
        data.hIcon = icon;
        std::strncpy(data.szTip, tip ? tip : "", sizeof data.szTip - 1);
        ::Shell_NotifyIconA(NIM_ADD, &data);
        added = true;
    }
    // Adds the icon again after the shell's notification area was made anew
    // (Explorer restarted and sent "TaskbarCreated"): the old one is gone.
    void Restore() {
        if (added) ::Shell_NotifyIconA(NIM_ADD, &data);
    }
    void Remove() {
        if (!added) return;
        ::Shell_NotifyIconA(NIM_DELETE, &data);
        added = false;
    }

private:
    NOTIFYICONDATAA data;
    bool added = false;
};
