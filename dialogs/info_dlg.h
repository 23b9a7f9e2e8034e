// The About box: the program line, the maker's name painted in blue, and the
// two contact links.
#pragma once

#include "controls/hlink_ctrl.h"
#include "ui/dialog.h"

class CInfoDlg : public Dialog {
public:
    explicit CInfoDlg(HWND parent);

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnMailLink(WPARAM, LPARAM);
    LRESULT OnWebLink(WPARAM, LPARAM);

    CHLinkCtrl mailLink;
    CHLinkCtrl webLink;
};
