// Asks for the display language at the first start.
#pragma once

#include "ui/dialog.h"

class CSelLangDlg : public Dialog {
public:
    explicit CSelLangDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
};
