// The application object: start-up and the run of the main window.
#pragma once

class CMonitorApp {
public:
    // False when start-up is refused (another instance runs); true after the
    // main window has ended.
    bool InitInstance();
};
