// The main window: a modal dialog that lives for the whole run.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <ctime>

#include "controls/hlink_ctrl.h"
#include "app/run_picture.h"
#include "controls/pro_slider.h"
#include "monitor/wave_capture.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/window_objects.h"

// Shows text 3004 with the error name of `code`, exclamation icon.
void ReportCaptureError(HWND owner, MMRESULT code);

class CAppDlg : public Dialog {
public:
    CAppDlg();

    // Sets every label of the window in the current language.
    void ApplyLanguageTexts();

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    virtual LRESULT OnTrayNotify(WPARAM iconId, LPARAM mouseMessage);
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // Message table handlers.
    LRESULT ConfirmExit(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnActivate(WPARAM, LPARAM);
    LRESULT OnShowWindow(WPARAM shown, LPARAM);
    LRESULT OnPowerBroadcast(WPARAM event, LPARAM);
    LRESULT OnOKCommand(WPARAM, LPARAM);
    LRESULT OnCancelCommand(WPARAM, LPARAM);
    LRESULT OnHelpButton(WPARAM, LPARAM);
    LRESULT OnSettings(WPARAM, LPARAM);
    LRESULT OnAbout(WPARAM, LPARAM);
    LRESULT OnCalibrate(WPARAM, LPARAM);
    LRESULT OnMixer(WPARAM, LPARAM);
    LRESULT OnStartStop(WPARAM, LPARAM);
    LRESULT OnWebLink(WPARAM, LPARAM);
    LRESULT OnMailLink(WPARAM, LPARAM);
    LRESULT OnTrayMessage(WPARAM, LPARAM);
    LRESULT OnSliderMoved(WPARAM, LPARAM);

    // Steps of the initialisation and the tick.
    // Takes the thumb position of one of the three sliders into its setting
    // and recomputes the scales; other windows are ignored.
    void TakeSliderPosition(HWND slider);
    void SyncSensitivityMeter();
    void ShowLevelMeters();
    // The activity indicator's lit segment, none while monitoring is off.
    void ShowIndicator();
    void ShowDateTime(const std::tm& now);
    void ShowSegment(int index, HBITMAP picture);
    // The tick's messages: that recording was interrupted (once; the capture
    // thread is trying to get it going again), and that a call could not be
    // placed (once per monitoring run).
    void ShowTickMessages();
    // Opens the modem port when the modem channel is set; text 1008 when it fails.
    void OpenModem();
    // Closes the run's protocol and has its picture written beside it.
    void EndProtocol();

    GdiObject<HBITMAP> indicatorOff;
    GdiObject<HBITMAP> indicatorOn;
    CProSliderCtrl sensitivitySlider;
    CProSliderCtrl micThresholdSlider;
    CProSliderCtrl callThresholdSlider;
    CHLinkCtrl webLink;
    CHLinkCtrl mailLink;
    HICON icon = nullptr;
    TrayIcon trayIcon;
    RunPictures pictures;
    WindowTimer tickTimer;
    bool tickBoxShown = false;
    bool failedCallDue = false;
    UINT failedCallText = 0;
    bool failedCallTold = false;
    // Ticks ran while the window was hidden: its displays are behind.
    bool displaysBehind = false;
    bool clockBehind = false;
};
