#include "settings/sel_lang_dlg.h"

#include "base/shared_record.h"
#include "res/resource.h"
#include "settings/settings_store.h"

CSelLangDlg::CSelLangDlg(HWND parent) : Dialog("SelLangDlg", parent) {}

BOOL CSelLangDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    int language = Settings().language;
    if (language == 0 || language == 1)
        SendItem(IDC_LANG_GERMAN + language, BM_SETCHECK, BST_CHECKED);
    return TRUE;
}

void CSelLangDlg::OnOK() {
    MonitorSettings& s = Settings();
    if (SendItem(IDC_LANG_GERMAN, BM_GETCHECK) == BST_CHECKED) s.language = 0;
    if (SendItem(IDC_LANG_ENGLISH, BM_GETCHECK) == BST_CHECKED) s.language = 1;
    WriteSettingsKey(IDS_KEY_LANGUAGE);
    EndDialog(0);
}

void CSelLangDlg::OnCancel() { EndDialog(-1); }
