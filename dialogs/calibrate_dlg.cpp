#include "dialogs/calibrate_dlg.h"

#include <commctrl.h>

#include <cstdio>

#include "base/meter_colors.h"
#include "base/shared_record.h"
#include "res/resource.h"
#include "settings/text_lookup.h"
#include "ui/gdi.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
// Several looks per recorded buffer (one comes about every 186 ms).
constexpr UINT kPollMs = 50;
constexpr DWORD kListenMs = kCalibrationSeconds * 1000;
// The progress bar moves in tenths of a second.
constexpr DWORD kProgressStepMs = 100;

constexpr COLORREF kThresholdColor = RGB(0, 0, 0);
constexpr COLORREF kProposalColor = RGB(0, 0, 255);
constexpr COLORREF kScaleColor = RGB(128, 128, 128);
// Pixels of the picture: its inner margin, the marks' width, the scale's ticks.
constexpr int kMargin = 4;
constexpr int kMarkWidth = 2;
constexpr int kTickHeight = 3;

}  // namespace

CCalibrateDlg::CCalibrateDlg(HWND parent) : Dialog("CalibrateDlg", parent) {}

bool CCalibrateDlg::DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT* result) {
    static const MessageEntry<CCalibrateDlg> kMessages[] = {
        MessageRow(WM_TIMER, &CCalibrateDlg::OnTimer),
        MessageRow(WM_DRAWITEM, &CCalibrateDlg::OnDrawItem),
    };
    return DispatchTable(this, kMessages, message, wParam, lParam, result);
}

BOOL CCalibrateDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    ::SetWindowTextA(Hwnd(), LoadText(IDS_CALIBRATION_AID));
    static const ItemLabel kLabels[] = {
        {IDC_CALIB_STATUS, IDS_CALIB_LISTENING},
        {IDC_CALIB_HIGHEST_LABEL, IDS_CALIB_HIGHEST},
        {IDC_CALIB_QUIET_LABEL, IDS_CALIB_QUIET_LEVEL},
        {IDC_CALIB_THRESHOLD_LABEL, IDS_CALIB_THRESHOLD},
        {IDC_CALIB_PROPOSAL_LABEL, IDS_CALIB_PROPOSAL},
        {IDOK, IDS_APPLY},
        {IDCANCEL, IDS_CANCEL},
    };
    SetItemTexts(kLabels, &LoadText);
    ::EnableWindow(Item(IDOK), FALSE);
    SendItem(IDC_CALIB_PROGRESS, PBM_SETRANGE32, 0, kListenMs / kProgressStepMs);

    ResetCalibration(levels);
    buffersSeen = LoadBuffersHeard(State());
    startTick = ::GetTickCount();
    ShowLevels();
    pollTimer.Start(Hwnd(), kPollTimer, kPollMs);
    return TRUE;
}

void CCalibrateDlg::OnOK() {
    // Enter reaches here also while Apply is disabled.
    if (proposal != kNoProposal) EndDialog(0);
}

LRESULT CCalibrateDlg::OnTimer(WPARAM, LPARAM) {
    if (finished) return 0;
    const MonitorState& state = State();
    bool changed = false;
    // A new buffer since the last look: the level is its level.
    const unsigned buffers = LoadBuffersHeard(state);
    if (buffers != buffersSeen) {
        buffersSeen = buffers;
        AddCalibrationLevel(levels, LoadLevel(state));
        changed = true;
    }
    DWORD elapsed = ::GetTickCount() - startTick;
    if (elapsed >= kListenMs) {
        elapsed = kListenMs;
        finished = true;
        pollTimer.Stop();
        changed = true;
    }
    SendItem(IDC_CALIB_PROGRESS, PBM_SETPOS, elapsed / kProgressStepMs);
    if (changed) ShowLevels();
    return 0;
}

void CCalibrateDlg::ShowLevels() {
    findings = ProposeThreshold(levels);
    const bool any = findings.heard > 0;
    ShowNumber(IDC_CALIB_HIGHEST, any ? findings.highest : kNoProposal);
    ShowNumber(IDC_CALIB_QUIET, any ? findings.quietLevel : kNoProposal);
    ShowNumber(IDC_CALIB_THRESHOLD, Settings().micThreshold);
    if (finished) {
        proposal = findings.proposal;
        const unsigned verdict = !any ? IDS_CALIB_NOTHING_HEARD
                                 : proposal == kNoProposal ? IDS_CALIB_NOT_QUIET
                                                           : IDS_CALIB_PROPOSED;
        SetItemText(IDC_CALIB_STATUS, LoadText(verdict));
        ::EnableWindow(Item(IDOK), proposal != kNoProposal);
    }
    ShowNumber(IDC_CALIB_PROPOSAL, proposal);
    ::InvalidateRect(Item(IDC_CALIB_PICTURE), nullptr, FALSE);
}

// A value of the slider scale, or a dash for none (a negative value).
void CCalibrateDlg::ShowNumber(int id, int value) {
    char text[16] = "-";
    if (value >= 0) std::snprintf(text, sizeof text, "%d", value);
    SetItemText(id, text);
}

LRESULT CCalibrateDlg::OnDrawItem(WPARAM, LPARAM lParam) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!item || item->CtlID != IDC_CALIB_PICTURE) return FALSE;
    DrawPicture(item->hDC, item->rcItem);
    return TRUE;
}

// A scale of 0..100 from left to right with a tick every 10 points; on it a
// bar up to the quiet room's level and a mark at the highest level, each
// green below the microphone threshold and red at or above it; a black
// line at the threshold and a blue one at the proposal.
void CCalibrateDlg::DrawPicture(HDC dc, const RECT& area) const {
    ::FillRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::FrameRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    const int left = area.left + kMargin;
    const int width = (area.right - kMargin - kMarkWidth) - left;
    const int top = area.top + kMargin;
    const int bottom = area.bottom - kMargin - kTickHeight;
    if (width <= 0 || bottom <= top) return;
    auto x = [&](int point) { return left + width * point / kLevelPoints; };
    for (int point = 0; point <= kLevelPoints; point += 10)
        FillSolid(dc, x(point), bottom, x(point) + 1, bottom + kTickHeight, kScaleColor);
    FillSolid(dc, left, bottom - 1, x(kLevelPoints) + 1, bottom, kScaleColor);

    const int threshold = Settings().micThreshold;
    auto colorOf = [&](int point) { return point >= threshold ? kMeterColorReached : kMeterColorBelow; };
    auto mark = [&](int point, int markTop, COLORREF color) {
        FillSolid(dc, x(point), markTop, x(point) + kMarkWidth, bottom - 1, color);
    };
    if (findings.heard > 0) {
        const int barTop = top + (bottom - top) / 3;
        FillSolid(dc, left, barTop, x(findings.quietLevel) + kMarkWidth, bottom - 1, colorOf(findings.quietLevel));
        mark(findings.highest, barTop, colorOf(findings.highest));
    }
    mark(threshold, top, kThresholdColor);
    if (proposal != kNoProposal) mark(proposal, top, kProposalColor);
}
