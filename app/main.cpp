#include <windows.h>

#include "app/monitor_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CMonitorApp app;
    app.InitInstance();
    return 0;
}
