#include "app/monitor_app.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/app_dlg.h"
#include "base/shared_record.h"
#include "res/resource.h"
#include "settings/profile.h"
#include "settings/text_lookup.h"
#include "ui/message_box.h"

bool CMonitorApp::InitInstance() {
    // One instance per desktop, recognised by its main window's title. The
    // settings are not loaded yet, so the message is always the German one.
    if (::FindWindowA("#32770", kProgramName)) {
        ::MessageBoxA(nullptr, LoadText(IDS_ALREADY_RUNNING), kProgramName, MB_ICONINFORMATION);
        return false;
    }

    // The shell may start the handlers of links through COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                      ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    ProfileSetRegistryKey("Kestrelon");
    ZeroSharedRecord();

    {
        CAppDlg mainWindow;
        mainWindow.DoModal();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return true;
}
