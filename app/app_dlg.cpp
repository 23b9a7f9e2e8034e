#include "app/app_dlg.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <cstring>
#include <ctime>

#include "app/display_format.h"
#include "base/bounded_copy.h"
#include "base/placeholder.h"
#include "base/shared_record.h"
#include "calling/dialler.h"
#include "dialogs/calibrate_dlg.h"
#include "dialogs/info_dlg.h"
#include "dialogs/sel_lang_dlg.h"
#include "dialogs/setup_dlg.h"
#include "help/help.h"
#include "monitor/alarm.h"
#include "monitor/capture_error.h"
#include "monitor/tick.h"
#include "protocol/level_protocol.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/text_lookup.h"
#include "ui/message_box.h"
#include "ui/wrappers.h"

namespace {

constexpr UINT_PTR kTickTimer = 100;
constexpr UINT kTickPeriodMs = 100;
constexpr DWORD kCapturePauseMs = 200;
constexpr int kIndicatorSegments = 6;
// How long the exit waits for a run's picture still being written.
constexpr DWORD kPictureWaitMs = 2000;
// Text 3004 goes into at most this many characters.
constexpr int kCaptureMessageChars = 255;

DialOutcome DialAlarmCall(const DialRequest& request, void*) { return Dial(request); }

// The first start's question for the language.
void AskForLanguage(HWND owner) {
    CSelLangDlg dialog(owner);
    dialog.DoModal();
}

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

CAppDlg::CAppDlg() : Dialog("AppDlg", nullptr) {}

bool CAppDlg::DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    // The shell's notification area was made anew: the tray icon comes back.
    static const UINT taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    if (taskbarCreated != 0 && message == taskbarCreated) {
        trayIcon.Restore();
        *result = 0;
        return true;
    }
    static const MessageEntry<CAppDlg> kMessages[] = {
        MessageRow(WM_CLOSE, &CAppDlg::ConfirmExit),
        MessageRow(WM_TIMER, &CAppDlg::OnTimer),
        MessageRow(WM_PAINT, &CAppDlg::OnPaint),
        MessageRow(WM_ACTIVATE, &CAppDlg::OnActivate),
        MessageRow(WM_SHOWWINDOW, &CAppDlg::OnShowWindow),
        MessageRow(WM_POWERBROADCAST, &CAppDlg::OnPowerBroadcast),
        MessageRow(WM_HSCROLL, &CAppDlg::OnSliderMoved),
        CommandRow(IDOK, &CAppDlg::OnOKCommand),
        CommandRow(IDCANCEL, &CAppDlg::OnCancelCommand),
        CommandRow(IDC_HELP_BUTTON, &CAppDlg::OnHelpButton),
        CommandRow(IDC_SETTINGS, &CAppDlg::OnSettings),
        CommandRow(IDC_ABOUT, &CAppDlg::OnAbout),
        CommandRow(IDC_MIXER, &CAppDlg::OnMixer),
        CommandRow(IDC_EXIT, &CAppDlg::ConfirmExit),
        CommandRow(IDC_START_STOP, &CAppDlg::OnStartStop),
        CommandRow(IDC_WEB_LINK, &CAppDlg::OnWebLink, 0),
        CommandRow(IDC_MAIL_LINK, &CAppDlg::OnMailLink, 0),
        MessageRow(IDM_TRAY_NOTIFY, &CAppDlg::OnTrayMessage),
        SysCommandRow(IDM_CALIBRATE, &CAppDlg::OnCalibrate),
    };
    return DispatchTable(this, kMessages, message, wParam, lParam, result);
}

void CAppDlg::DoDataExchange() {
    Bind(sensitivitySlider, IDC_SENSITIVITY);
    Bind(micThresholdSlider, IDC_MIC_THRESHOLD);
    Bind(callThresholdSlider, IDC_CALL_THRESHOLD);
    Bind(webLink, IDC_WEB_LINK);
    Bind(mailLink, IDC_MAIL_LINK);
}

void CAppDlg::ApplyLanguageTexts() {
    static const ItemLabel kLabels[] = {
        {IDC_GROUP_MIC, IDS_MICROPHONE},
        {IDC_GROUP_CALL, IDS_CALLING},
        {IDC_GROUP_CLOCK, IDS_DATE_TIME},
        {IDC_GROUP_STATUS, IDS_STATUS},
        {IDC_GROUP_CONTACT, IDS_CONTACT_GROUP},
        {IDC_SENSITIVITY_LABEL, IDS_SENSITIVITY},
        {IDC_MIC_THRESHOLD_LABEL, IDS_THRESHOLD},
        {IDC_CALL_THRESHOLD_LABEL, IDS_THRESHOLD},
        {IDC_HELP_BUTTON, IDS_HELP},
        {IDC_SETTINGS, IDS_SETTINGS},
        {IDC_ABOUT, IDS_ABOUT},
        {IDC_EXIT, IDS_EXIT},
    };
    SetItemTexts(kLabels, &LoadText);
    SetItemText(IDC_START_STOP, LoadText(State().monitoring ? IDS_STOP : IDS_START));
    SetItemText(IDC_WEB_LINK, LoadText(IDS_WEB_LINK));
    SetItemText(IDC_MAIL_LINK, LoadText(IDS_MAIL_LINK));
    ::ModifyMenuA(::GetSystemMenu(Hwnd(), FALSE), IDM_CALIBRATE, MF_BYCOMMAND | MF_STRING,
                  IDM_CALIBRATE, LoadText(IDS_CALIBRATE));
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

BOOL CAppDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    MonitorState& state = State();

    LoadSettings(Hwnd(), &AskForLanguage);
    // The calibration aid in the system menu; its text comes with the others.
    HMENU systemMenu = ::GetSystemMenu(Hwnd(), FALSE);
    ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(systemMenu, MF_STRING, IDM_CALIBRATE, "");
    ApplyLanguageTexts();
    ComputeScales(Settings(), State());

    char folder[sizeof state.protocolFolder] = {};
    DWORD n = ::GetCurrentDirectoryA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) folder[0] = '\0';
    std::memcpy(state.protocolFolder, folder, sizeof folder);

    ::SetWindowTextA(Hwnd(), kProgramName);
    icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
    ::SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    trayIcon.Add(Hwnd(), IDI_TRAY, IDM_TRAY_NOTIFY, icon, kProgramName);

    sensitivitySlider.SetUpLevelSlider(Settings().sensitivity);
    micThresholdSlider.SetUpLevelSlider(Settings().micThreshold);
    callThresholdSlider.SetUpLevelSlider(Settings().callThreshold);
    // A stored value beyond 0..100 becomes the thumb's nearer end.
    for (CProSliderCtrl* slider : {&sensitivitySlider, &micThresholdSlider, &callThresholdSlider})
        TakeSliderPosition(slider->Hwnd());

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    indicatorOff.Reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_INDICATOR_OFF)));
    indicatorOn.Reset(::LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_INDICATOR_ON)));

    tickTimer.Start(Hwnd(), kTickTimer, kTickPeriodMs);

    OpenModem();

    WaveCapture& capture = TheCapture();
    capture.handle = nullptr;
    if (::waveOutGetNumDevs() != 0) {
        capture.sampleRate = 11025;
        capture.bitsPerSample = 16;
        capture.bufferBytes = 4096;
        MMRESULT code = StartCapture(capture);
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
    FillPlaceholder(text, sizeof text, format, CaptureErrorName(code));
    ShowMessage(owner, text, MB_OK | MB_ICONEXCLAMATION);
}

void CAppDlg::TakeSliderPosition(HWND slider) {
    if (!slider) return;
    MonitorSettings& s = Settings();
    const int position = TrackBar(slider).GetPos();
    if (slider == sensitivitySlider.Hwnd())
        s.sensitivity = position;
    else if (slider == micThresholdSlider.Hwnd())
        s.micThreshold = position;
    else if (slider == callThresholdSlider.Hwnd())
        s.callThreshold = position;
    else
        return;
    ComputeScales(s, State());
}

LRESULT CAppDlg::OnSliderMoved(WPARAM, LPARAM lParam) {
    TakeSliderPosition(reinterpret_cast<HWND>(lParam));
    return 0;
}

LRESULT CAppDlg::OnTimer(WPARAM, LPARAM) {
    const std::tm now = LocalNow();
    const TickResult tick = MonitorTick(Settings(), State(), now, &DialAlarmCall, nullptr);
    if (!tick.ran) return 0;
    // A window nobody sees is not painted; it catches up when it is shown.
    if (::IsWindowVisible(Hwnd())) {
        SyncSensitivityMeter();
        ShowLevelMeters();
        if (tick.indicatorStepped) ShowIndicator();
        if (tick.secondPassed) ShowDateTime(now);
    } else {
        displaysBehind = true;
        clockBehind = clockBehind || tick.secondPassed;
    }
    // A call that could not be placed is told once per monitoring run.
    if (tick.callFailed && !failedCallTold) {
        // The text of the channel that failed, even if the settings change before it shows.
        failedCallDue = true;
        failedCallText = Settings().connectionType == kConnectTelephonyApp ? IDS_NO_TELEPHONY_APP
                                                                           : IDS_SOFTPHONE_NOT_FOUND;
    }
    ShowTickMessages();
    return 0;
}

LRESULT CAppDlg::OnPowerBroadcast(WPARAM event, LPARAM) {
    // After a sleep the device may be gone or silent: open it afresh.
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) RestartCapture(TheCapture());
    return TRUE;
}

LRESULT CAppDlg::OnShowWindow(WPARAM shown, LPARAM) {
    if (!shown || !displaysBehind) return 0;
    displaysBehind = false;
    SyncSensitivityMeter();
    ShowLevelMeters();
    ShowIndicator();
    if (clockBehind) ShowDateTime(LocalNow());
    clockBehind = false;
    return 0;
}

void CAppDlg::ShowTickMessages() {
    // The box is modal: the ticks go on under it, and do not stack a second.
    if (tickBoxShown) return;
    // While another dialog or box of ours is open, the message waits: a box
    // of the main window would be enabled again under that dialog's end.
    HWND main = Hwnd();
    if (!::IsWindowEnabled(main) || ::GetLastActivePopup(main) != main) return;
    tickBoxShown = true;
    const MMRESULT code = TakeCaptureFailure(TheCapture());
    if (code != MMSYSERR_NOERROR) ReportCaptureError(main, code);
    if (failedCallDue) {
        failedCallDue = false;
        failedCallTold = true;
        ShowMessage(main, LoadText(failedCallText), MB_OK | MB_ICONSTOP);
    }
    tickBoxShown = false;
}

void CAppDlg::SyncSensitivityMeter() {
    const int position = TrackBar(sensitivitySlider.Hwnd()).GetPos();
    if (position != sensitivitySlider.GetMeterValue())
        sensitivitySlider.SetMeterValue(Settings().sensitivity);
}

void CAppDlg::ShowLevelMeters() {
    const MonitorState& state = State();
    const double level = LoadLevel(state);
    // Colour and value in one step: one repaint per meter and tick.
    micThresholdSlider.SetMeterColorAndValue(MeterColorFor(level, state.levelThreshold),
                                             MeterValueFromLevel(level));
    callThresholdSlider.SetMeterColorAndValue(MeterColorFor(state.alarmLevel, state.alarmThreshold),
                                              MeterValueFromLevel(state.alarmLevel));
}

// A static repaints itself at once on every new picture, also the same one,
// so a segment is only given a picture it does not show yet.
void CAppDlg::ShowSegment(int index, HBITMAP picture) {
    const int id = IDC_INDICATOR_FIRST + index;
    if (reinterpret_cast<HBITMAP>(SendItem(id, STM_GETIMAGE, IMAGE_BITMAP)) == picture) return;
    SendItem(id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
}

void CAppDlg::ShowIndicator() {
    const MonitorState& state = State();
    const int lit = state.monitoring ? state.indicatorStep : -1;
    for (int i = 0; i < kIndicatorSegments; ++i)
        ShowSegment(i, i == lit ? indicatorOn.Get() : indicatorOff.Get());
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
        // Monitoring keeps the PC awake; the display may still turn off.
        ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        failedCallDue = false;
        failedCallTold = false;
        if (Settings().logging) OpenProtocol(state, LocalNow());
        break;
    case StartStopOutcome::Stopped:
        SetItemText(IDC_START_STOP, LoadText(IDS_START));
        ::SetThreadExecutionState(ES_CONTINUOUS);
        ShowIndicator();
        EndProtocol();
        break;
    }
    return 0;
}

void CAppDlg::EndProtocol() {
    MonitorState& state = State();
    std::unique_ptr<RunRecord> run = TakeRunRecord(state);
    CloseProtocol(state);
    if (!run) return;
    const MonitorSettings& s = Settings();
    char start[32], end[32], mic[16], call[16], title[256];
    FormatRunMoment(start, sizeof start, run->start);
    FormatRunMoment(end, sizeof end, run->last);
    wsprintfA(mic, "%d", static_cast<int>(s.micThreshold));
    wsprintfA(call, "%d", static_cast<int>(s.callThreshold));
    const char* values[] = {start, end, mic, call};
    FillPlaceholders(title, sizeof title, LoadText(IDS_RUN_TITLE), values, 4);
    RunPictureTexts texts;
    texts.title = title;
    texts.level = LoadText(IDS_RUN_LEVEL);
    texts.threshold = LoadText(IDS_RUN_THRESHOLD);
    texts.alarmCall = LoadText(IDS_RUN_ALARM_CALL);
    texts.troubleCall = LoadText(IDS_RUN_TROUBLE_CALL);
    texts.failedCall = LoadText(IDS_RUN_FAILED_CALL);
    pictures.Write(std::move(run), std::move(texts));
}

LRESULT CAppDlg::ConfirmExit(WPARAM, LPARAM) {
    if (ShowMessage(Hwnd(), LoadText(IDS_CONFIRM_EXIT), MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
    tickTimer.Stop();
    ::SetThreadExecutionState(ES_CONTINUOUS);
    WaveCapture& capture = TheCapture();
    if (capture.handle.load() || capture.thread) {
        StopCapture(capture);
        ::Sleep(kCapturePauseMs);
    }
    CloseModemPort();
    EndProtocol();
    pictures.Finish(kPictureWaitMs);
    indicatorOff.Reset();
    indicatorOn.Reset();
    trayIcon.Remove();
    SaveExitSettings();
    EndDialog(0);
    return 0;
}

LRESULT CAppDlg::OnSettings(WPARAM, LPARAM) {
    CSetupDlg dialog(Hwnd());
    if (dialog.DoModal() != 0) return 0;
    ApplyLanguageTexts();
    OpenModem();
    return 0;
}

void CAppDlg::OpenModem() {
    CloseModemPort();
    const MonitorSettings& s = Settings();
    if (s.connectionType == kConnectModem && !OpenModemPort(s.comPort, s.baudRate))
        ShowMessage(Hwnd(), LoadText(IDS_PORT_NOT_OPENED), MB_OK | MB_ICONEXCLAMATION);
}

LRESULT CAppDlg::OnTrayMessage(WPARAM wParam, LPARAM lParam) { return OnTrayNotify(wParam, lParam); }

LRESULT CAppDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != IDI_TRAY || static_cast<UINT>(mouseMessage) != WM_LBUTTONDOWN) return 0;
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

LRESULT CAppDlg::OnHelpButton(WPARAM, LPARAM) {
    ShowHelp(Hwnd());
    return 0;
}

LRESULT CAppDlg::OnAbout(WPARAM, LPARAM) {
    CInfoDlg about(Hwnd());
    about.DoModal();
    return 0;
}

LRESULT CAppDlg::OnCalibrate(WPARAM, LPARAM) {
    CCalibrateDlg dialog(Hwnd());
    if (dialog.DoModal() != 0) return 0;
    // As if the parent had moved the microphone threshold's thumb there.
    TrackBar(micThresholdSlider.Hwnd()).SetPos(dialog.Proposal());
    TakeSliderPosition(micThresholdSlider.Hwnd());
    return 0;
}

LRESULT CAppDlg::OnMixer(WPARAM, LPARAM) {
    StartVolumeControl();
    return 0;
}

LRESULT CAppDlg::OnWebLink(WPARAM, LPARAM) {
    OpenWebSite();
    return 0;
}

LRESULT CAppDlg::OnMailLink(WPARAM, LPARAM) {
    OpenMailClient(Hwnd());
    return 0;
}
