#include "dialogs/info_dlg.h"

#include "help/help.h"
#include "res/resource.h"
#include "settings/text_lookup.h"

namespace {

constexpr char kMakerName[] = "Kestrelon";
constexpr COLORREF kMakerColor = 0xFF0000;  // blue
constexpr int kMakerX = 85;
constexpr int kMakerY = 127;

}  // namespace

CInfoDlg::CInfoDlg(HWND parent) : Dialog("InfoDlg", parent) {}

bool CInfoDlg::DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    static const MessageEntry<CInfoDlg> kMessages[] = {
        MessageRow(WM_PAINT, &CInfoDlg::OnPaint),
        CommandRow(IDC_INFO_MAIL_LINK, &CInfoDlg::OnMailLink, 0),
        CommandRow(IDC_INFO_WEB_LINK, &CInfoDlg::OnWebLink, 0),
    };
    return DispatchTable(this, kMessages, message, wParam, lParam, result);
}

void CInfoDlg::DoDataExchange() {
    Bind(mailLink, IDC_INFO_MAIL_LINK);
    Bind(webLink, IDC_INFO_WEB_LINK);
}

BOOL CInfoDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    ::SetWindowTextA(Hwnd(), LoadText(IDS_ABOUT));
    SetItemText(IDC_INFO_QUESTIONS, LoadText(IDS_QUESTIONS));
    SetItemText(IDC_INFO_CONTACT, LoadText(IDS_CONTACT));
    SetItemText(IDC_INFO_MAIL_LINK, kContactMailUrl);
    SetItemText(IDC_INFO_WEB_LINK, kWebSiteUrl);
    return TRUE;
}

LRESULT CInfoDlg::OnPaint(WPARAM wParam, LPARAM lParam) {
    HWND hwnd = Hwnd();
    HDC dc = ::GetDC(hwnd);
    ::DefWindowProcA(hwnd, WM_PAINT, wParam, lParam);  // the dialog paints itself first
    if (dc) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, kMakerColor);
        ::TextOutA(dc, kMakerX, kMakerY, kMakerName, static_cast<int>(sizeof kMakerName - 1));
        ::ReleaseDC(hwnd, dc);
    }
    return 0;
}

LRESULT CInfoDlg::OnMailLink(WPARAM, LPARAM) {
    OpenMailClient(Hwnd());
    EndDialog(0);
    return 0;
}

LRESULT CInfoDlg::OnWebLink(WPARAM, LPARAM) {
    OpenWebSite();
    return 0;
}
