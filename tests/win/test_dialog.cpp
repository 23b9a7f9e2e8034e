// The dialog layer: message-table dispatch by message, id and code, the
// OK/Cancel defaults, the reflection of the controls' notifications to bound
// (subclassed) control objects, and the typed control wrappers.
// The dialog "DialogTestDlg" comes from tests/win/wintest_dialogs.rc.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/wrappers.h"

namespace {

const int kButton = 1001;
const int kBoundText = 1003;
const int kFreeText = 1004;
const int kCheck = 1005;
const int kCombo = 1006;
const int kEdit = 1007;
const int kTrackBar = 1008;
const UINT kUserMessage = WM_USER + 5;
const UINT kUnlistedMessage = WM_USER + 6;
const UINT kRunChecks = WM_APP + 1;
const UINT kHandledCode = 12345;

// A control that records what reaches it, and handles kHandledCode only.
class ProbeControl : public Control {
public:
    std::vector<UINT> reflected;  // the messages, in order
    std::vector<UINT> codes;      // their codes (the colour kind for WM_CTLCOLOR*)
    HBRUSH brush = nullptr;
    int ownMessages = 0;

    bool OnReflectedCommand(UINT code, LRESULT* result) override { return Note(WM_COMMAND, code, result); }
    bool OnReflectedNotify(NMHDR* header, LRESULT* result) override {
        return Note(WM_NOTIFY, header->code, result);
    }
    bool OnReflectedScroll(UINT message, UINT code, LRESULT* result) override {
        return Note(message, code, result);
    }
    bool OnReflectedDrawItem(DRAWITEMSTRUCT* item) override {
        LRESULT ignored;
        return Note(WM_DRAWITEM, item->itemAction, &ignored);
    }
    HBRUSH OnReflectedCtlColor(UINT message, HDC) override {
        reflected.push_back(message);
        codes.push_back(message);
        return brush;
    }

protected:
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (message != WM_USER + 9) return false;
        ++ownMessages;
        *result = 99 + static_cast<LRESULT>(wParam);
        return true;
    }

private:
    bool Note(UINT message, UINT code, LRESULT* result) {
        reflected.push_back(message);
        codes.push_back(code);
        if (code != kHandledCode) return false;
        *result = 77;
        return true;
    }
};

class TableDialog : public Dialog {
public:
    TableDialog() : Dialog("DialogTestDlg", nullptr) {}

    int buttonCalls = 0;
    int anyCodeCalls = 0;
    int scrollCalls = 0;
    int userCalls = 0;
    LPARAM userParam = 0;
    bool bound = false;
    ProbeControl probe;
    std::function<void(TableDialog&)> checks;

protected:
    void DoDataExchange() override { bound = Bind(probe, kBoundText); }
    BOOL OnInitDialog() override {
        BOOL r = Dialog::OnInitDialog();
        ::PostMessageA(Hwnd(), kRunChecks, 0, 0);
        return r;
    }
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        static const MessageEntry<TableDialog> kMessages[] = {
            CommandRow(kButton, &TableDialog::OnButton, BN_CLICKED),
            CommandRow(kBoundText, &TableDialog::OnAnyCode),
            MessageRow(WM_HSCROLL, &TableDialog::OnScroll),
            MessageRow(kUserMessage, &TableDialog::OnUser),
            MessageRow(kRunChecks, &TableDialog::OnRunChecks),
        };
        return DispatchTable(this, kMessages, message, wParam, lParam, result);
    }

private:
    LRESULT OnButton(WPARAM, LPARAM) { return ++buttonCalls, 0; }
    LRESULT OnAnyCode(WPARAM, LPARAM) { return ++anyCodeCalls, 0; }
    LRESULT OnScroll(WPARAM, LPARAM) { return ++scrollCalls, 0; }
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

// Runs `checks` inside the dialog's message loop; the dialog ends with 0.
void RunInDialog(TableDialog& dlg, const std::function<void(TableDialog&)>& checks) {
    dlg.checks = [checks](TableDialog& d) {
        checks(d);
        d.EndDialog(0);
    };
    EXPECT_EQ(0, dlg.DoModal());
    EXPECT_TRUE(dlg.bound);
}

LRESULT Send(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(h, message, wParam, lParam);
}

TEST(DialogTable, RowsMatchMessageIdAndCode) {
    TableDialog dlg;
    RunInDialog(dlg, [](TableDialog& d) {
        HWND h = d.Hwnd();
        // The button's row asks for BN_CLICKED: another code or another id does not match.
        Send(h, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), 0);
        Send(h, WM_COMMAND, MAKEWPARAM(kButton, BN_SETFOCUS), 0);
        Send(h, WM_COMMAND, MAKEWPARAM(kFreeText, BN_CLICKED), 0);
        EXPECT_EQ(1, d.buttonCalls);
        // A row without a code takes every code of its id.
        Send(h, WM_COMMAND, MAKEWPARAM(kBoundText, 3), 0);
        Send(h, WM_COMMAND, MAKEWPARAM(kBoundText, 0), 0);
        EXPECT_EQ(2, d.anyCodeCalls);
        // A listed message runs its handler, and its result reaches the sender.
        EXPECT_EQ(4242, Send(h, kUserMessage, 0, 31));
        EXPECT_EQ(1, d.userCalls);
        EXPECT_EQ(31, d.userParam);
        // A message missing from the table is left to the system.
        EXPECT_EQ(0, Send(h, kUnlistedMessage, 0, 0));
        EXPECT_EQ(1, d.userCalls);
    });
    EXPECT_EQ(nullptr, dlg.Hwnd());
}

TEST(DialogTable, OkAndCancelEndWithZeroAndMinusOne) {
    for (int button : {IDOK, IDCANCEL}) {
        TableDialog dlg;
        dlg.checks = [button](TableDialog& d) {
            ::PostMessageA(d.Hwnd(), WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        };
        EXPECT_EQ(button == IDOK ? 0 : -1, dlg.DoModal());
    }
}

TEST(DialogReflection, EachKindReachesTheBoundControlFirstAndWhatItDeclinesTheTable) {
    TableDialog dlg;
    RunInDialog(dlg, [](TableDialog& d) {
        HWND h = d.Hwnd();
        HWND bound = d.Item(kBoundText);
        NMHDR header = {bound, static_cast<UINT_PTR>(kBoundText), kHandledCode};
        EXPECT_EQ(77, Send(h, WM_NOTIFY, kBoundText, reinterpret_cast<LPARAM>(&header)));
        header.code = 6789;  // declined, and no row for it
        EXPECT_EQ(0, Send(h, WM_NOTIFY, kBoundText, reinterpret_cast<LPARAM>(&header)));

        // Commands: the control handles its own code; the table gets the rest.
        const LPARAM from = reinterpret_cast<LPARAM>(bound);
        EXPECT_EQ(77, Send(h, WM_COMMAND, MAKEWPARAM(kBoundText, kHandledCode), from));
        EXPECT_EQ(0, d.anyCodeCalls);
        Send(h, WM_COMMAND, MAKEWPARAM(kBoundText, STN_CLICKED), from);
        EXPECT_EQ(1, d.anyCodeCalls);

        Send(h, WM_HSCROLL, MAKEWPARAM(TB_LINEDOWN, 0), from);
        Send(h, WM_VSCROLL, MAKEWPARAM(TB_LINEUP, 0), from);
        EXPECT_EQ(1, d.scrollCalls) << "the declined WM_HSCROLL went on to its row";

        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_STATIC;
        item.CtlID = kBoundText;
        item.hwndItem = bound;
        item.itemAction = kHandledCode;
        EXPECT_EQ(TRUE, Send(h, WM_DRAWITEM, kBoundText, reinterpret_cast<LPARAM>(&item)));

        const std::vector<UINT> messages = {WM_NOTIFY, WM_NOTIFY, WM_COMMAND, WM_COMMAND,
                                            WM_HSCROLL, WM_VSCROLL, WM_DRAWITEM};
        const std::vector<UINT> codes = {kHandledCode, 6789, kHandledCode, STN_CLICKED,
                                         TB_LINEDOWN, TB_LINEUP, kHandledCode};
        EXPECT_EQ(messages, d.probe.reflected);
        EXPECT_EQ(codes, d.probe.codes);

        // What an unbound control sends reaches no object.
        HWND free = d.Item(kFreeText);
        NMHDR other = {free, static_cast<UINT_PTR>(kFreeText), kHandledCode};
        EXPECT_EQ(0, Send(h, WM_NOTIFY, kFreeText, reinterpret_cast<LPARAM>(&other)));
        Send(h, WM_COMMAND, MAKEWPARAM(kFreeText, kHandledCode), reinterpret_cast<LPARAM>(free));
        EXPECT_EQ(messages.size(), d.probe.reflected.size());
    });
}

TEST(DialogReflection, EveryColourRequestOfABoundControlUsesItsBrush) {
    TableDialog dlg;
    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    dlg.probe.brush = brush;
    RunInDialog(dlg, [brush](TableDialog& d) {
        HWND h = d.Hwnd();
        HDC dc = ::GetDC(h);
        const WPARAM w = reinterpret_cast<WPARAM>(dc);
        std::vector<UINT> kinds;
        for (UINT m = WM_CTLCOLORMSGBOX; m <= WM_CTLCOLORSTATIC; ++m) {
            EXPECT_EQ(reinterpret_cast<LRESULT>(brush),
                      Send(h, m, w, reinterpret_cast<LPARAM>(d.Item(kBoundText))))
                << std::hex << m;
            kinds.push_back(m);
        }
        EXPECT_EQ(kinds, d.probe.codes);
        // The unbound static gets the system's answer, not the control's brush.
        EXPECT_NE(reinterpret_cast<LRESULT>(brush),
                  Send(h, WM_CTLCOLORSTATIC, w, reinterpret_cast<LPARAM>(d.Item(kFreeText))));
        EXPECT_EQ(kinds.size(), d.probe.codes.size());
        ::ReleaseDC(h, dc);
    });
    ::DeleteObject(brush);
}

TEST(ControlSubclass, SeesMessagesFirstAndPassesTheRestOn) {
    TableDialog dlg;
    HWND staticWindow = nullptr;
    RunInDialog(dlg, [&staticWindow](TableDialog& d) {
        staticWindow = d.Item(kBoundText);
        EXPECT_EQ(staticWindow, d.probe.Hwnd());
        EXPECT_EQ(100, Send(staticWindow, WM_USER + 9, 1, 0));
        EXPECT_EQ(1, d.probe.ownMessages);
        char text[64] = {0};
        ::GetWindowTextA(staticWindow, text, sizeof(text));
        EXPECT_STREQ("Bound text", text);
        // A control cannot be bound twice, nor a window to two controls.
        ProbeControl other;
        EXPECT_FALSE(other.Attach(staticWindow));
        EXPECT_FALSE(d.probe.Attach(d.Item(kFreeText)));
    });
    // The window is gone; the control let go of it.
    EXPECT_EQ(nullptr, dlg.probe.Hwnd());
    EXPECT_FALSE(::IsWindow(staticWindow));
}

LRESULT CALLBACK OuterSubclass(HWND h, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR calls) {
    if (message == WM_USER + 9) ++*reinterpret_cast<int*>(calls);
    return ::DefSubclassProc(h, message, wParam, lParam);
}

TEST(ControlSubclass, DetachLeavesOtherSubclassesAndRestoresTheWindow) {
    HWND w = ::CreateWindowA("STATIC", "plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, w);
    const LONG_PTR original = ::GetWindowLongPtrA(w, GWLP_WNDPROC);
    int outerCalls = 0;
    {
        ProbeControl c;
        ASSERT_TRUE(c.Attach(w));
        EXPECT_EQ(99, Send(w, WM_USER + 9, 0, 0));
        // Someone else subclasses the window after us; our detach must not cut it off.
        ASSERT_TRUE(::SetWindowSubclass(w, &OuterSubclass, 7, reinterpret_cast<DWORD_PTR>(&outerCalls)));
        EXPECT_EQ(99, Send(w, WM_USER + 9, 0, 0));
        EXPECT_EQ(1, outerCalls);
    }  // the destructor detaches
    EXPECT_EQ(0, Send(w, WM_USER + 9, 0, 0));
    EXPECT_EQ(2, outerCalls);
    ::RemoveWindowSubclass(w, &OuterSubclass, 7);
    EXPECT_EQ(original, ::GetWindowLongPtrA(w, GWLP_WNDPROC));
    ProbeControl again;
    EXPECT_TRUE(again.Attach(w));
    again.Detach();
    ::DestroyWindow(w);
}

TEST(ControlWrappers, ReadAndWriteTheirControls) {
    TableDialog dlg;
    RunInDialog(dlg, [](TableDialog& d) {
        TrackBar bar(d.Item(kTrackBar));
        bar.SetRange(0, 100);
        bar.SetPageSize(10);
        bar.SetPos(150);
        EXPECT_EQ(100, bar.GetPos()) << "positions stay within the range";
        bar.SetPos(42);
        EXPECT_EQ(42, bar.GetPos());
        EXPECT_EQ(10, Send(bar.Hwnd(), TBM_GETPAGESIZE, 0, 0));

        EXPECT_FALSE(d.IsItemChecked(kCheck));
        d.CheckItem(kCheck, true);
        EXPECT_TRUE(d.IsItemChecked(kCheck));
        d.CheckItem(kCheck, false);
        EXPECT_FALSE(d.IsItemChecked(kCheck));
        EXPECT_FALSE(d.IsItemChecked(9999)) << "no such control";

        ComboBox combo(d.Item(kCombo));
        EXPECT_EQ(0, combo.AddString("COM1"));
        EXPECT_EQ(1, combo.AddString("COM2"));
        EXPECT_EQ(2, combo.GetCount());
        EXPECT_EQ(CB_ERR, combo.GetCurSel());
        combo.SetCurSel(1);
        EXPECT_EQ(1, combo.GetCurSel());
        combo.SetCurSel(-1);
        EXPECT_EQ(CB_ERR, combo.GetCurSel());

        EditBox edit(d.Item(kEdit));
        edit.SetText("0301234567");
        char small[5];
        std::memset(small, 'x', sizeof small);
        edit.GetText(small, sizeof small);
        EXPECT_STREQ("0301", small) << "cut to the buffer, terminated";
        char whole[32];
        edit.GetText(whole, sizeof whole);
        EXPECT_STREQ("0301234567", whole);
        edit.GetText(whole, 0);  // no room: nothing written
        EXPECT_STREQ("0301234567", whole);

        // Without a window they do nothing.
        EXPECT_EQ(0, TrackBar().GetPos());
        char none[4] = "abc";
        EditBox().GetText(none, sizeof none);
        EXPECT_STREQ("", none);
    });
}

TEST(GdiObject, OwnsOneObjectAndDeletesWhatItLetsGo) {
    HBRUSH first = ::CreateSolidBrush(RGB(1, 2, 3));
    HBRUSH second = ::CreateSolidBrush(RGB(4, 5, 6));
    {
        GdiObject<HBRUSH> owner(first);
        owner.Reset(second);
        EXPECT_EQ(0u, ::GetObjectType(first)) << "the first brush was deleted";
        EXPECT_EQ(second, owner.Get());
        GdiObject<HBRUSH> moved(std::move(owner));
        EXPECT_EQ(nullptr, owner.Get());
        EXPECT_EQ(second, moved.Get());
    }
    EXPECT_EQ(0u, ::GetObjectType(second)) << "the owner deleted the second one";
}

}  // namespace
