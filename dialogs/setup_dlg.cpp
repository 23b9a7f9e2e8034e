#include "dialogs/setup_dlg.h"

#include <commdlg.h>

#include <cstring>

#include "base/bounded_copy.h"
#include "base/placeholder.h"
#include "base/shared_record.h"
#include "calling/dialler.h"
#include "res/resource.h"
#include "settings/settings_parse.h"
#include "settings/settings_store.h"
#include "settings/text_lookup.h"
#include "ui/message_box.h"
#include "ui/wrappers.h"

namespace {

// Buffer sizes of the fields as OK reads them.
constexpr std::size_t kDelayCheckBytes = 10;
constexpr std::size_t kNumberFieldBytes = 20;
constexpr std::size_t kBaudTextBytes = 10;
// The number the connection test takes: at most 249 characters.
constexpr std::size_t kTestNumberBytes = kDialNumberBytes;
constexpr std::size_t kQuestionBytes = 512;

}  // namespace

CSetupDlg::CSetupDlg(HWND parent) : Dialog("SetupDlg", parent) {}

bool CSetupDlg::DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    static const MessageEntry<CSetupDlg> kMessages[] = {
        CommandRow(IDC_LANG_GERMAN, &CSetupDlg::OnRadioClicked),
        CommandRow(IDC_LANG_ENGLISH, &CSetupDlg::OnRadioClicked),
        CommandRow(IDC_CONN_TELEPHONY_APP, &CSetupDlg::OnRadioClicked),
        CommandRow(IDC_CONN_SOFTPHONE, &CSetupDlg::OnRadioClicked),
        CommandRow(IDC_CONN_MODEM, &CSetupDlg::OnRadioClicked),
        CommandRow(IDC_CONNECTION_TEST, &CSetupDlg::OnConnectionTest),
        CommandRow(IDC_BROWSE, &CSetupDlg::OnBrowse),
    };
    return DispatchTable(this, kMessages, message, wParam, lParam, result);
}

BOOL CSetupDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    ApplyTexts();
    ShowSettings();
    return TRUE;
}

void CSetupDlg::ApplyTexts() {
    ::SetWindowTextA(Hwnd(), LoadText(IDS_SETTINGS));
    static const ItemLabel kLabels[] = {
        {IDC_GROUP_LANGUAGE, IDS_LANGUAGE},
        {IDC_GROUP_CALLING, IDS_CALLING_PARAMS},
        {IDC_GROUP_CONNECT, IDS_CONNECT_TO},
        {IDC_GROUP_MISC, IDS_MISCELLANEOUS},
        {IDC_GROUP_SOFTPHONE, IDS_SOFTPHONE_FILE},
        {IDC_GROUP_SERIAL, IDS_SERIAL_GROUP},
        {IDC_PORT_LABEL, IDS_PORT},
        {IDC_BAUD_LABEL, IDS_BAUD},
        {IDC_MODEM_LABEL, IDS_MODEM_COMMAND},
        {IDC_LANG_GERMAN, IDS_GERMAN},
        {IDC_LANG_ENGLISH, IDS_ENGLISH},
        {IDC_CALL_NUMBER_LABEL, IDS_CALL_NUMBER},
        {IDC_CALLING_DELAY_LABEL, IDS_CALLING_DELAY},
        {IDC_MINUTES_LABEL, IDS_MINUTES},
        {IDC_MAX_CALLS_LABEL, IDS_MAXIMUM},
        {IDC_CALLS_LABEL, IDS_CALLS},
        {IDC_CONN_TELEPHONY_APP, IDS_TELEPHONY_APP},
        {IDC_CONN_MODEM, IDS_SERIAL_MODEM},
        {IDC_CONNECTION_TEST, IDS_CONNECTION_TEST},
        {IDC_LOGGING, IDS_MAKE_PROTOCOL},
        {IDCANCEL, IDS_CANCEL},
    };
    SetItemTexts(kLabels, &LoadText);
}

void CSetupDlg::ShowSettings() {
    const MonitorSettings& s = Settings();
    // A value outside its controls' range shows as nothing chosen.
    if (s.language == 0 || s.language == 1) CheckItem(IDC_LANG_GERMAN + s.language, true);
    char number[sizeof s.callNumber];
    SetItemText(IDC_CALL_NUMBER, CopyField(number, s.callNumber));
    char text[kProfileBufferSize];
    FormatInt(text, sizeof text, s.callingDelay);
    SetItemText(IDC_CALLING_DELAY, text);
    FormatInt(text, sizeof text, s.maxCalls);
    SetItemText(IDC_MAX_CALLS, text);
    if (s.connectionType >= kConnectTelephonyApp && s.connectionType <= kConnectModem)
        CheckItem(IDC_CONN_TELEPHONY_APP + s.connectionType, true);
    char path[sizeof s.softPhonePath];
    SetItemText(IDC_SOFTPHONE_PATH, CopyField(path, s.softPhonePath));
    CheckItem(IDC_LOGGING, s.logging != 0);
    ComboBox ports(Item(IDC_COM_PORT));
    ports.SetCurSel(s.comPort >= 1 && s.comPort <= ports.GetCount() ? s.comPort - 1 : -1);
    FormatInt(text, sizeof text, s.baudRate);
    ComboBox rates(Item(IDC_BAUD_RATE));
    rates.SetCurSel(rates.FindStringExact(text));
    char command[sizeof s.modemCommand];
    SetItemText(IDC_MODEM_COMMAND, CopyField(command, s.modemCommand));
}

void CSetupDlg::ReadItem(int id, char* out, std::size_t size) const {
    EditBox(Item(id)).GetText(out, size);
}

LRESULT CSetupDlg::OnRadioClicked(WPARAM wParam, LPARAM) {
    const int clicked = LOWORD(wParam);
    if (clicked == IDC_LANG_GERMAN || clicked == IDC_LANG_ENGLISH) {
        CheckItem(IDC_LANG_GERMAN, clicked == IDC_LANG_GERMAN);
        CheckItem(IDC_LANG_ENGLISH, clicked == IDC_LANG_ENGLISH);
    } else {
        for (int id : {IDC_CONN_TELEPHONY_APP, IDC_CONN_SOFTPHONE, IDC_CONN_MODEM}) CheckItem(id, id == clicked);
    }
    return 0;
}

LRESULT CSetupDlg::OnConnectionTest(WPARAM, LPARAM) {
    char number[kTestNumberBytes];
    ReadItem(IDC_CALL_NUMBER, number, sizeof number);
    // "?" is what an emptied number shows after OK: no number either.
    if (number[0] == '\0' || std::strcmp(number, "?") == 0) {
        ShowMessage(Hwnd(), LoadText(IDS_INVALID_NUMBER), MB_OK | MB_ICONSTOP);
        return 0;
    }
    // The number is put in by substitution: a "%" in it is never read as a format.
    char question[kQuestionBytes];
    FillPlaceholder(question, sizeof question, LoadText(IDS_CONNECT_QUESTION), number);
    if (ShowMessage(Hwnd(), question, MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;

    // The typed number through the channel in force.
    DialRequest request = MakeDialRequest(Settings());
    CopyTruncated(request.number, sizeof request.number, number);
    HCURSOR kept = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    const DialOutcome outcome = Dial(request);
    ::SetCursor(kept);
    // The test waits for no softphone that is still starting: the user sees
    // at once that it was not there, and can test again once it is.
    if (outcome == DialOutcome::SoftPhoneNotFound || outcome == DialOutcome::SoftPhoneStarting)
        ShowMessage(Hwnd(), LoadText(IDS_SOFTPHONE_NOT_FOUND), MB_OK | MB_ICONSTOP);
    if (outcome == DialOutcome::NoTelephonyApp)
        ShowMessage(Hwnd(), LoadText(IDS_NO_TELEPHONY_APP), MB_OK | MB_ICONSTOP);
    return 0;
}

LRESULT CSetupDlg::OnBrowse(WPARAM, LPARAM) {
    // The filter's parts are separated by "|" in the text; the dialog wants zeros.
    char filter[kProfileBufferSize];
    CopyTruncated(filter, sizeof filter - 1, LoadText(IDS_BROWSE_FILTER));
    const std::size_t length = std::strlen(filter);
    for (std::size_t i = 0; i < length; ++i)
        if (filter[i] == '|') filter[i] = '\0';
    filter[length + 1] = '\0';  // the list ends with two zeros

    char path[MAX_PATH] = "*.exe";
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = Hwnd();
    open.lpstrFilter = filter;
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    open.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (::GetOpenFileNameA(&open)) SetItemText(IDC_SOFTPHONE_PATH, path);
    return 0;
}

void CSetupDlg::OnOK() {
    MonitorSettings& s = Settings();
    char work[kProfileBufferSize];
    ReadItem(IDC_CALLING_DELAY, work, kDelayCheckBytes);
    if (ParseProfileInt(work) <= 0) {
        ShowMessage(Hwnd(), LoadText(IDS_MIN_DELAY), MB_ICONHAND);
        return;
    }
    if (IsItemChecked(IDC_LANG_GERMAN)) s.language = 0;
    if (IsItemChecked(IDC_LANG_ENGLISH)) s.language = 1;
    ReadItem(IDC_CALL_NUMBER, s.callNumber, sizeof s.callNumber);
    RemoveCommas(s.callNumber);  // a comma would end the number in the stored value
    if (s.callNumber[0] == '\0') CopyTruncated(s.callNumber, sizeof s.callNumber, "?");
    ReadItem(IDC_CALLING_DELAY, work, kNumberFieldBytes);
    s.callingDelay = ParseProfileInt(work);
    ReadItem(IDC_MAX_CALLS, work, kNumberFieldBytes);
    s.maxCalls = ParseProfileInt(work);
    ReadItem(IDC_SOFTPHONE_PATH, s.softPhonePath, sizeof s.softPhonePath);
    s.logging = IsItemChecked(IDC_LOGGING) ? 1 : 0;
    s.comPort = ComboBox(Item(IDC_COM_PORT)).GetCurSel() + 1;
    ReadItem(IDC_BAUD_RATE, work, kBaudTextBytes);  // the selected item's text
    s.baudRate = ParseProfileInt(work);
    ReadItem(IDC_MODEM_COMMAND, s.modemCommand, sizeof s.modemCommand);
    if (IsItemChecked(IDC_CONN_TELEPHONY_APP)) s.connectionType = kConnectTelephonyApp;
    if (IsItemChecked(IDC_CONN_SOFTPHONE)) s.connectionType = kConnectSoftPhone;
    if (IsItemChecked(IDC_CONN_MODEM)) s.connectionType = kConnectModem;

    for (unsigned key : {IDS_KEY_LANGUAGE, IDS_KEY_CONNECT, IDS_KEY_CALLPARAMS, IDS_KEY_SOFTPHONE,
                         IDS_KEY_LOGGING, IDS_KEY_MODEM})
        WriteSettingsKey(key);
    EndDialog(0);
}

void CSetupDlg::OnCancel() { EndDialog(-1); }
