// The settings dialog: every setting but the three sliders, shown from and
// written back to the shared record, stored in the profile on OK.
#pragma once

#include <cstddef>

#include "ui/dialog.h"

class CSetupDlg : public Dialog {
public:
    explicit CSetupDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    LRESULT OnRadioClicked(WPARAM wParam, LPARAM);
    LRESULT OnConnectionTest(WPARAM, LPARAM);
    LRESULT OnBrowse(WPARAM, LPARAM);

    void ApplyTexts();
    void ShowSettings();
    // The control's text (a list's selected item), at most size - 1 characters.
    void ReadItem(int id, char* out, std::size_t size) const;
};
