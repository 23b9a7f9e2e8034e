// The dialog layer: message-table dispatch, the OK/Cancel defaults, and the
// reflection of WM_NOTIFY and WM_CTLCOLORSTATIC to bound (subclassed) controls.
// The dialog "DialogTestDlg" comes from tests/win/wintest_dialogs.rc.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <vector>

#include "ui/control.h"
#include "ui/dialog.h"

namespace {

const int kButton = 1001;
const int kBoundText = 1003;
const int kFreeText = 1004;
const UINT kUserMessage = WM_USER + 5;
const UINT kUnlistedMessage = WM_USER + 6;
const UINT kRunChecks = WM_APP + 1;

// A control that records what reaches it.
class ProbeControl : public Control {
public:
    std::vector<UINT> notifyCodes;
    int ctlColorCalls = 0;
    HBRUSH brush = nullptr;
    int ownMessages = 0;

    bool OnReflectedNotify(NMHDR* header, LRESULT* result) override {
        notifyCodes.push_back(header->code);
        if (header->code == 12345) {
            *result = 77;
            return true;
        }
        return false;
    }
    HBRUSH OnReflectedCtlColor(HDC) override {
        ++ctlColorCalls;
        return brush;
    }

protected:
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (message == WM_USER + 9) {
            ++ownMessages;
            *result = 99 + static_cast<LRESULT>(wParam);
            return true;
        }
        return false;
    }
};

class TableDialog : public Dialog {
public:
    TableDialog() : Dialog("DialogTestDlg", nullptr) {}

    int buttonCalls = 0;
    int userCalls = 0;
    LPARAM userParam = 0;
    bool bound = false;
    ProbeControl probe;
    std::function<void(TableDialog&)> checks;

    HWND Window() const { return Hwnd(); }

protected:
    void DoDataExchange() override { bound = Bind(probe, kBoundText); }
    BOOL OnInitDialog() override {
        BOOL r = Dialog::OnInitDialog();
        ::PostMessageA(Hwnd(), kRunChecks, 0, 0);
        return r;
    }
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        static const MessageEntry<TableDialog> table[] = {
            {WM_COMMAND, kButton, &TableDialog::OnButton},
            {kUserMessage, 0, &TableDialog::OnUser},
            {kRunChecks, 0, &TableDialog::OnRunChecks},
        };
        return DispatchTable(this, table, message, wParam, lParam, result);
    }

private:
    LRESULT OnButton(WPARAM, LPARAM) {
        ++buttonCalls;
        return 0;
    }
    LRESULT OnUser(WPARAM, LPARAM lParam) {
        ++userCalls;
        userParam = lParam;
        return 4242;
    }
    LRESULT OnRunChecks(WPARAM, LPARAM) {
        if (checks) checks(*this);
        return 0;
    }
};

TEST(DialogTable, DispatchesCommandsAndMessagesByTable) {
    TableDialog dlg;
    dlg.checks = [](TableDialog& d) {
        HWND h = d.Window();
        // A command of a listed control runs its handler; another does not.
        ::SendMessageA(h, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), 0);
        ::SendMessageA(h, WM_COMMAND, MAKEWPARAM(kFreeText, 0), 0);
        EXPECT_EQ(1, d.buttonCalls);
        // A listed message runs its handler, and its result reaches the sender.
        EXPECT_EQ(4242, ::SendMessageA(h, kUserMessage, 0, 31));
        EXPECT_EQ(1, d.userCalls);
        EXPECT_EQ(31, d.userParam);
        // A message missing from the table is left to the system.
        EXPECT_EQ(0, ::SendMessageA(h, kUnlistedMessage, 0, 0));
        EXPECT_EQ(1, d.userCalls);
        d.EndDialog(7);
    };
    EXPECT_EQ(7, dlg.DoModal());
    EXPECT_TRUE(dlg.bound);
    EXPECT_EQ(nullptr, dlg.Hwnd());
}

TEST(DialogTable, OkAndCancelEndWithZeroAndMinusOne) {
    TableDialog ok;
    ok.checks = [](TableDialog& d) { ::PostMessageA(d.Window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); };
    EXPECT_EQ(0, ok.DoModal());

    TableDialog cancel;
    cancel.checks = [](TableDialog& d) { ::PostMessageA(d.Window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); };
    EXPECT_EQ(-1, cancel.DoModal());
}

TEST(DialogReflection, NotifyGoesBackToTheBoundControl) {
    TableDialog dlg;
    dlg.checks = [](TableDialog& d) {
        HWND h = d.Window();
        NMHDR header = {};
        header.hwndFrom = d.Item(kBoundText);
        header.idFrom = kBoundText;
        header.code = 12345;
        EXPECT_EQ(77, ::SendMessageA(h, WM_NOTIFY, kBoundText, reinterpret_cast<LPARAM>(&header)));
        header.code = 6789;  // the control declines this one
        EXPECT_EQ(0, ::SendMessageA(h, WM_NOTIFY, kBoundText, reinterpret_cast<LPARAM>(&header)));
        ASSERT_EQ(2u, d.probe.notifyCodes.size());
        EXPECT_EQ(12345u, d.probe.notifyCodes[0]);
        EXPECT_EQ(6789u, d.probe.notifyCodes[1]);
        // A notification of a control that is not bound reaches no object.
        header.hwndFrom = d.Item(kFreeText);
        header.idFrom = kFreeText;
        header.code = 12345;
        EXPECT_EQ(0, ::SendMessageA(h, WM_NOTIFY, kFreeText, reinterpret_cast<LPARAM>(&header)));
        EXPECT_EQ(2u, d.probe.notifyCodes.size());
        d.EndDialog(0);
    };
    EXPECT_EQ(0, dlg.DoModal());
}

TEST(DialogReflection, CtlColorOfABoundStaticUsesTheControlsBrush) {
    TableDialog dlg;
    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    dlg.probe.brush = brush;
    dlg.checks = [brush](TableDialog& d) {
        HWND h = d.Window();
        HDC dc = ::GetDC(h);
        LRESULT r = ::SendMessageA(h, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(d.Item(kBoundText)));
        EXPECT_EQ(reinterpret_cast<LRESULT>(brush), r);
        int calls = d.probe.ctlColorCalls;
        EXPECT_GE(calls, 1);
        // The unbound static gets the system's answer, not the control's brush.
        r = ::SendMessageA(h, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(d.Item(kFreeText)));
        EXPECT_NE(reinterpret_cast<LRESULT>(brush), r);
        EXPECT_EQ(calls, d.probe.ctlColorCalls);
        ::ReleaseDC(h, dc);
        d.EndDialog(0);
    };
    EXPECT_EQ(0, dlg.DoModal());
    ::DeleteObject(brush);
}

TEST(ControlSubclass, SeesMessagesFirstAndPassesTheRestOn) {
    TableDialog dlg;
    HWND staticWindow = nullptr;
    dlg.checks = [&staticWindow](TableDialog& d) {
        staticWindow = d.Item(kBoundText);
        EXPECT_EQ(staticWindow, d.probe.Hwnd());
        EXPECT_EQ(100, ::SendMessageA(staticWindow, WM_USER + 9, 1, 0));
        EXPECT_EQ(1, d.probe.ownMessages);
        char text[64] = {0};
        ::GetWindowTextA(staticWindow, text, sizeof(text));
        EXPECT_STREQ("Bound text", text);
        // A control cannot be bound twice, nor a window to two controls.
        ProbeControl other;
        EXPECT_FALSE(other.Attach(staticWindow));
        EXPECT_FALSE(d.probe.Attach(d.Item(kFreeText)));
        d.EndDialog(0);
    };
    EXPECT_EQ(0, dlg.DoModal());
    // The window is gone; the control let go of it.
    EXPECT_EQ(nullptr, dlg.probe.Hwnd());
    EXPECT_FALSE(::IsWindow(staticWindow));
}

TEST(ControlSubclass, DetachRestoresTheOriginalProcedure) {
    HWND w = ::CreateWindowA("STATIC", "plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, w);
    LONG_PTR original = ::GetWindowLongPtrA(w, GWLP_WNDPROC);
    {
        ProbeControl c;
        ASSERT_TRUE(c.Attach(w));
        EXPECT_NE(original, ::GetWindowLongPtrA(w, GWLP_WNDPROC));
        EXPECT_EQ(99, ::SendMessageA(w, WM_USER + 9, 0, 0));
    }  // the destructor detaches
    EXPECT_EQ(original, ::GetWindowLongPtrA(w, GWLP_WNDPROC));
    EXPECT_EQ(0, ::SendMessageA(w, WM_USER + 9, 0, 0));
    ProbeControl again;
    EXPECT_TRUE(again.Attach(w));
    again.Detach();
    ::DestroyWindow(w);
}

}  // namespace
