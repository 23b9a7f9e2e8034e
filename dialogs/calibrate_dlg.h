// The calibration aid: listens to the room for a minute while the main
// window goes on as it was, shows the highest level and the quiet room's
// level against the microphone threshold, and proposes a threshold just
// above the quiet room. It changes nothing itself: Apply ends it with 0 and
// the proposal, which the main window then takes as the slider's position.
#pragma once

#include "monitor/calibration.h"
#include "ui/dialog.h"
#include "ui/window_objects.h"

class CCalibrateDlg : public Dialog {
public:
    explicit CCalibrateDlg(HWND parent);

    // The proposed microphone threshold 0..100; kNoProposal before the
    // minute is over or when there is none.
    int Proposal() const { return proposal; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnDrawItem(WPARAM, LPARAM lParam);

    // The numbers and the picture of what was heard so far; once the minute
    // is over, the verdict too.
    void ShowLevels();
    void ShowNumber(int id, int value);
    void DrawPicture(HDC dc, const RECT& area) const;

    CalibrationLevels levels = {};
    CalibrationResult findings;
    unsigned buffersSeen = 0;
    DWORD startTick = 0;
    bool finished = false;
    int proposal = kNoProposal;
    WindowTimer pollTimer;
};
