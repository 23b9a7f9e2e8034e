#include "app/app_dlg.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <cstring>
#include <ctime>

#include "app/display_format.h"
#include "base/bounded_copy.h"
#include "base/shared_record.h"
#include "calling/dialler.h"
#include "monitor/alarm.h"
#include "monitor/capture_error.h"
#include "protocol/level_protocol.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/text_lookup.h"
#include "base/message_box.h"

namespace {

constexpr UINT_PTR kTickTimer = 100;
constexpr UINT kTickPeriodMs = 100;
constexpr int kTicksPerSecond = 10;
constexpr UINT kTrayIconId = 1000;
constexpr UINT kTrayMessage = WM_USER + 101;  // 0x465
constexpr DWORD kCapturePauseMs = 200;
constexpr COLORREF kSliderBackground = 0xC0C0C0;
constexpr int kIndicatorSegments = 6;
// Text 3004 goes into at most this many characters.
constexpr int kCaptureMessageChars = 255;

#ifndef NOTIFYICONDATAA_V1_SIZE
#define NOTIFYICONDATAA_V1_SIZE FIELD_OFFSET(NOTIFYICONDATAA, szTip[64])
#endif

void DialFromAlarm(const char* number, void*) { DialNumber(number); }

std::tm LocalNow() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    std::tm t = {};
    t.tm_year = st.wYear - 1900;
    t.tm_mon = st.wMonth - 1;
    t.tm_mday = st.wDay;
    t.tm_hour = st.wHour;
    t.tm_min = st.wMinute;
    t.tm_sec = st.wSecond;
    t.tm_wday = st.wDayOfWeek;
    return t;
}

}  // namespace

struct AppDlgTable {
    static const MessageEntry<CAppDlg> entries[15];
};

const MessageEntry<CAppDlg> AppDlgTable::entries[15] = {
    {WM_CLOSE, 0, &CAppDlg::ConfirmExit},
    {WM_TIMER, 0, &CAppDlg::OnTimer},
    {WM_PAINT, 0, &CAppDlg::OnPaint},
    {WM_ACTIVATE, 0, &CAppDlg::OnActivate},
    {WM_COMMAND, IDOK, &CAppDlg::OnOKCommand},
    {WM_COMMAND, IDCANCEL, &CAppDlg::OnCancelCommand},
    {WM_COMMAND, IDC_HELP_BUTTON, &CAppDlg::OnHelpButton},
    {WM_COMMAND, IDC_SETTINGS, &CAppDlg::OnSettings},
    {WM_COMMAND, IDC_ABOUT, &CAppDlg::OnAbout},
    {WM_COMMAND, IDC_MIXER, &CAppDlg::OnMixer},
    {WM_COMMAND, IDC_EXIT, &CAppDlg::ConfirmExit},
    {WM_COMMAND, IDC_START_STOP, &CAppDlg::OnStartStop},
    {WM_COMMAND, IDC_WEB_LINK, &CAppDlg::OnWebLink},
    {WM_COMMAND, IDC_MAIL_LINK, &CAppDlg::OnMailLink},
    {kTrayMessage, 0, &CAppDlg::OnTrayMessage},
};

CAppDlg::CAppDlg() : Dialog("AppDlg", nullptr) {
    std::memset(&trayIcon, 0, sizeof trayIcon);
    capture_.handle = nullptr;
}

bool CAppDlg::DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return DispatchTable(this, AppDlgTable::entries, message, wParam, lParam, result);
}

void CAppDlg::DoDataExchange() {
    Bind(sensitivitySlider, IDC_SENSITIVITY);
    Bind(micThresholdSlider, IDC_MIC_THRESHOLD);
    Bind(callThresholdSlider, IDC_CALL_THRESHOLD);
}

void CAppDlg::ApplyLanguageTexts() {
    static const struct { int control; unsigned text; } kLabels[] = {
        {IDC_GROUP_MIC, 2000},  {IDC_GROUP_CALL, 2001},         {IDC_GROUP_CLOCK, 2024},
        {IDC_GROUP_STATUS, 2025}, {IDC_GROUP_CONTACT, 2026},    {IDC_SENSITIVITY_LABEL, 2002},
        {IDC_MIC_THRESHOLD_LABEL, 2003}, {IDC_CALL_THRESHOLD_LABEL, 2003}, {IDC_HELP_BUTTON, 2009},
        {IDC_SETTINGS, 2004},   {IDC_ABOUT, 2010},              {IDC_EXIT, 2011},
    };
    for (const auto& label : kLabels) SetItemText(label.control, LoadText(label.text));
    SetItemText(IDC_START_STOP, LoadText(State().monitoring ? IDS_STOP : IDS_START));
    SetItemText(IDC_WEB_LINK, LoadText(2027));
    SetItemText(IDC_MAIL_LINK, LoadText(2028));
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

BOOL CAppDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    MonitorState& state = State();

    LoadSettings(Hwnd());
    ApplyLanguageTexts();
    ComputeScales(Settings(), State());

    char folder[sizeof state.protocolFolder] = {};
    DWORD n = ::GetCurrentDirectoryA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) folder[0] = '\0';
    std::memcpy(state.protocolFolder, folder, sizeof folder);

    ::SetWindowTextA(Hwnd(), "Cribwatch");
    icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
    ::SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    AddTrayIcon();

    SetUpSlider(sensitivitySlider, Settings().sensitivity);
    SetUpSlider(micThresholdSlider, Settings().micThreshold);
    SetUpSlider(callThresholdSlider, Settings().callThreshold);

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    indicatorOff.Reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_INDICATOR_OFF)));
    indicatorOn.Reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_INDICATOR_ON)));

    ::SetTimer(Hwnd(), kTickTimer, kTickPeriodMs, nullptr);

    if (Settings().connectionType == kConnectModem) OpenModemPort(Hwnd());

    capture_.handle = nullptr;
    if (::waveOutGetNumDevs() != 0) {
        capture_.sampleRate = 11025;
        capture_.bitsPerSample = 16;
        capture_.bufferBytes = 4096;
        MMRESULT code = StartCapture(capture_);
        if (code != MMSYSERR_NOERROR) ReportCaptureError(Hwnd(), code);
    } else {
        ShowMessage(Hwnd(), LoadText(IDS_NO_SOUNDCARD), MB_ICONHAND);
    }
    return TRUE;
}

void ReportCaptureError(HWND owner, MMRESULT code) {
    char format[kCaptureMessageChars + 1];
    LoadPlainText(IDS_CAPTURE_ERROR, format, sizeof format);
    if (format[0] == '\0') CopyTruncated(format, sizeof format, "%s");
    char text[kCaptureMessageChars + 1];
    FormatCaptureErrorText(text, sizeof text, format, CaptureErrorName(code));
    ShowMessage(owner, text, MB_OK | MB_ICONEXCLAMATION);
}

void CAppDlg::AddTrayIcon() {
    if (trayAdded_) return;
    std::memset(&trayIcon, 0, sizeof trayIcon);
    trayIcon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    trayIcon.hWnd = Hwnd();
    trayIcon.uID = kTrayIconId;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = kTrayMessage;
    trayIcon.hIcon = icon;
    std::strcpy(trayIcon.szTip, "Cribwatch");
    ::Shell_NotifyIconA(NIM_ADD, &trayIcon);
    trayAdded_ = true;
}

void CAppDlg::SetUpSlider(CProSliderCtrl& slider, int position) {
    HWND h = slider.Hwnd();
    ::SendMessageA(h, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
    ::SendMessageA(h, TBM_SETPAGESIZE, 0, 10);
    ::SendMessageA(h, TBM_SETPOS, TRUE, position);
    slider.SetMeterRange(0, 100);
    slider.SetMeterValue(0);
    slider.SetBackgroundColor(kSliderBackground);
}

bool CAppDlg::OnNotify(int controlId, NMHDR* header, LRESULT* result) {
    if (header) {
        MonitorSettings& s = Settings();
        HWND from = header->hwndFrom;
        if (from && from == sensitivitySlider.Hwnd())
            s.sensitivity = static_cast<int>(::SendMessageA(from, TBM_GETPOS, 0, 0));
        else if (from && from == micThresholdSlider.Hwnd())
            s.micThreshold = static_cast<int>(::SendMessageA(from, TBM_GETPOS, 0, 0));
        else if (from && from == callThresholdSlider.Hwnd())
            s.callThreshold = static_cast<int>(::SendMessageA(from, TBM_GETPOS, 0, 0));
    }
    ComputeScales(Settings(), State());
    return Dialog::OnNotify(controlId, header, result);
}

LRESULT CAppDlg::OnTimer(WPARAM, LPARAM) {
    MonitorState& state = State();
    const MonitorSettings& settings = Settings();
    if (state.inTick) return 0;
    state.inTick = true;

    SyncSensitivityMeter();
    AlarmLevelStep(state);
    ShowLevelMeters();
    state.tickCount += 1;
    if (state.monitoring && state.tickCount % 2 == 0) StepActivityIndicator();
    if (state.tickCount >= kTicksPerSecond) {
        const std::tm now = LocalNow();
        ShowDateTime(now);
        state.tickCount = 0;
        CountdownStep(state);
        WriteProtocolLine(settings, state, now);
    }
    RunAlarmDecision(settings, state, &DialFromAlarm, nullptr);

    state.inTick = false;
    return 0;
}

void CAppDlg::SyncSensitivityMeter() {
    int position = static_cast<int>(::SendMessageA(sensitivitySlider.Hwnd(), TBM_GETPOS, 0, 0));
    if (position != sensitivitySlider.GetMeterValue())
        sensitivitySlider.SetMeterValue(Settings().sensitivity);
}

void CAppDlg::ShowLevelMeters() {
    const MonitorState& state = State();
    const double level = LoadLevel(state);
    micThresholdSlider.SetMeterColor(MeterColorFor(level, state.levelThreshold));
    micThresholdSlider.SetMeterValue(MeterValueFromLevel(level));
    callThresholdSlider.SetMeterColor(MeterColorFor(state.alarmLevel, state.alarmThreshold));
    callThresholdSlider.SetMeterValue(MeterValueFromLevel(state.alarmLevel));
}

void CAppDlg::ShowIndicatorOff() {
    for (int i = 0; i < kIndicatorSegments; ++i)
        SendItem(IDC_INDICATOR_FIRST + i, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(indicatorOff.Get()));
}

void CAppDlg::StepActivityIndicator() {
    MonitorState& state = State();
    state.indicatorStep = NextIndicatorStep(state.indicatorStep);
    ShowIndicatorOff();
    SendItem(IDC_INDICATOR_FIRST + state.indicatorStep, STM_SETIMAGE, IMAGE_BITMAP,
             reinterpret_cast<LPARAM>(indicatorOn.Get()));
}

void CAppDlg::ShowDateTime(const std::tm& now) {
    char text[64];
    FormatDate(text, sizeof text, now);
    SetItemText(IDC_DATE, text);
    FormatWeekdayTime(text, sizeof text, now, Settings().language);
    SetItemText(IDC_TIME, text);
}

LRESULT CAppDlg::OnStartStop(WPARAM, LPARAM) {
    MonitorState& state = State();
    switch (ToggleMonitoring(Settings(), state)) {
    case StartStopOutcome::RefusedNoNumber:
        ShowMessage(Hwnd(), LoadText(IDS_NO_CALL_NUMBER), MB_ICONHAND);
        break;
    case StartStopOutcome::Started:
        SetItemText(IDC_START_STOP, LoadText(IDS_STOP));
        if (Settings().logging) OpenProtocol(state, LocalNow());
        break;
    case StartStopOutcome::Stopped:
        SetItemText(IDC_START_STOP, LoadText(IDS_START));
        ShowIndicatorOff();
        CloseProtocol(state);
        break;
    }
    return 0;
}

LRESULT CAppDlg::ConfirmExit(WPARAM, LPARAM) {
    if (ShowMessage(Hwnd(), LoadText(IDS_CONFIRM_EXIT), MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
    ::KillTimer(Hwnd(), kTickTimer);
    if (capture_.handle) {
        StopCapture(capture_);
        ::Sleep(kCapturePauseMs);
    }
    CloseModemPort();
    CloseProtocol(State());
    indicatorOff.Reset();
    indicatorOn.Reset();
    if (trayAdded_) {
        ::Shell_NotifyIconA(NIM_DELETE, &trayIcon);
        trayAdded_ = false;
    }
    SaveExitSettings();
    EndDialog(0);
    return 0;
}

LRESULT CAppDlg::OnTrayMessage(WPARAM wParam, LPARAM lParam) { return OnTrayNotify(wParam, lParam); }

LRESULT CAppDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != kTrayIconId || static_cast<UINT>(mouseMessage) != WM_LBUTTONDOWN) return 0;
    HWND hwnd = Hwnd();
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    RECT window;
    ::GetWindowRect(hwnd, &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoA(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        area = monitor.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetForegroundWindow(hwnd);
    return 1;
}

LRESULT CAppDlg::OnActivate(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != 0) ::ShowWindow(Hwnd(), SW_HIDE);
    return 0;
}

LRESULT CAppDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    ::BeginPaint(Hwnd(), &ps);
    ::EndPaint(Hwnd(), &ps);
    return 0;
}

LRESULT CAppDlg::OnOKCommand(WPARAM, LPARAM) { OnOK(); return 0; }
LRESULT CAppDlg::OnCancelCommand(WPARAM, LPARAM) { OnCancel(); return 0; }

// Help, settings, About, the mixer and the two links come with their own dialogs.
LRESULT CAppDlg::OnHelpButton(WPARAM, LPARAM) { return 0; }
LRESULT CAppDlg::OnSettings(WPARAM, LPARAM) { return 0; }
LRESULT CAppDlg::OnAbout(WPARAM, LPARAM) { return 0; }
LRESULT CAppDlg::OnMixer(WPARAM, LPARAM) { return 0; }
LRESULT CAppDlg::OnWebLink(WPARAM, LPARAM) { return 0; }
LRESULT CAppDlg::OnMailLink(WPARAM, LPARAM) { return 0; }
