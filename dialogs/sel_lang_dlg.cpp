#include "dialogs/sel_lang_dlg.h"

#include "base/shared_record.h"
#include "res/resource.h"
#include "settings/settings_store.h"

CSelLangDlg::CSelLangDlg(HWND parent) : Dialog("SelLangDlg", parent) {}

BOOL CSelLangDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    const int language = Settings().language;
    if (language == 0 || language == 1) CheckItem(IDC_LANG_GERMAN + language, true);
    return TRUE;
}

void CSelLangDlg::OnOK() {
    MonitorSettings& s = Settings();
    if (IsItemChecked(IDC_LANG_GERMAN)) s.language = 0;
    if (IsItemChecked(IDC_LANG_ENGLISH)) s.language = 1;
    WriteSettingsKey(IDS_KEY_LANGUAGE);
    EndDialog(0);
}

void CSelLangDlg::OnCancel() { EndDialog(-1); }
