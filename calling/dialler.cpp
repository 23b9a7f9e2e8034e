#include "calling/dialler.h"

#include "base/bounded_copy.h"
#include "base/message_box.h"
#include "base/placeholder.h"
#include "base/shared_record.h"
#include "calling/dial_sequence.h"
#include "calling/serial_port_table.h"
#include "res/resource.h"
#include "settings/text_lookup.h"

namespace {

// The modem's slot in the serial port table, -1 while no modem port is open.
int modemSlot = -1;

constexpr int kModemDrainReads = 5;
// The connection test's question with the number in it.
constexpr std::size_t kQuestionBytes = 512;

void PressButton(int buttonId, void* context) {
    HWND window = static_cast<HWND>(context);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(buttonId, 0), 0);
}

int DialSoftPhone(const char* number) {
    HWND window = ::FindWindowA(kSoftPhoneWindowClass, kSoftPhoneWindowTitle);
    if (window == nullptr) {
        char path[sizeof Settings().softPhonePath];
        CopyField(path, Settings().softPhonePath);
        ::WinExec(path, SW_SHOW);  // a failed start shows in the second search
        window = ::FindWindowA(kSoftPhoneWindowClass, kSoftPhoneWindowTitle);
        if (window == nullptr) return 1;
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SendDlgItemMessageA(window, kSoftPhoneNumberBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    PressSoftPhoneButtons(number, PressButton, window);
    return -1;
}

void DialModem(const char* number) {
    if (modemSlot < 0) return;
    static char scratch[kSerialLineBufferSize];  // replies are read and dropped
    for (int i = 0; i < kModemDrainReads; ++i) {
        SerialReadLine(modemSlot, scratch, sizeof scratch);
    }
    char command[sizeof Settings().modemCommand];
    CopyField(command, Settings().modemCommand);
    char dial[kModemDialBufferSize];
    const std::size_t length = FormatModemDial(command, number, dial, sizeof dial);
    SerialWrite(modemSlot, dial, static_cast<unsigned>(length));
}

}  // namespace

int DialNumber(const char* number) {
    switch (Settings().connectionType) {
        case kConnectSoftPhone:
            return DialSoftPhone(number);
        case kConnectModem:
            DialModem(number);
            return -1;
        default:
            return -1;  // ISDN/TAPI and unknown channels place no call
    }
}

void OpenModemPort(HWND owner) {
    CloseModemPort();
    char portName[kPortNameSize];
    FormatModemPortName(Settings().comPort, portName, sizeof portName);
    const int baudRate = Settings().baudRate;
    if (portName[0] != '\0' && IsModemBaudRate(baudRate)) {
        modemSlot = SerialOpen(portName, baudRate, 8, 2, 0, 0);
    }
    if (modemSlot < 0) {
        ShowMessage(owner, LoadText(IDS_PORT_NOT_OPENED), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    SerialWrite(modemSlot, kModemEchoOff, sizeof kModemEchoOff - 1);
}

void CloseModemPort() {
    SerialClose(modemSlot);
    modemSlot = -1;
}

void RunConnectionTest(HWND owner, const char* number) {
    if (!number || number[0] == '\0') {
        ShowMessage(owner, LoadText(IDS_INVALID_NUMBER), MB_OK | MB_ICONSTOP);
        return;
    }
    // The number is put in by substitution: a "%" in it is never read as a format.
    char question[kQuestionBytes];
    FillPlaceholder(question, sizeof question, LoadText(IDS_CONNECT_QUESTION), number);
    if (ShowMessage(owner, question, MB_YESNO | MB_ICONQUESTION) != IDYES) return;

    HCURSOR kept = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    const int result = DialNumber(number);
    ::SetCursor(kept);
    if (result == 1) ShowMessage(owner, LoadText(IDS_SOFTPHONE_NOT_FOUND), MB_OK | MB_ICONSTOP);
}
