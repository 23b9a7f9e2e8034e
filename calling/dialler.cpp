#include "calling/dialler.h"

#include <windows.h>
#include <shellapi.h>

#include "calling/serial_port_table.h"

namespace {

// The modem's slot in the serial port table, -1 while no modem port is open.
int modemSlot = -1;

constexpr int kModemDrainReads = 5;

void PressButton(int buttonId, void* context) {
    HWND window = static_cast<HWND>(context);
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(buttonId, 0), 0);
}

DialOutcome DialSoftPhone(const DialRequest& request) {
    HWND window = ::FindWindowA(kSoftPhoneWindowClass, kSoftPhoneWindowTitle);
    if (window == nullptr) {
        if (request.retry) return DialOutcome::SoftPhoneStarting;
        // WinExec's results up to 31 are errors: nothing was started.
        if (::WinExec(request.program, SW_SHOW) <= 31) return DialOutcome::SoftPhoneNotFound;
        window = ::FindWindowA(kSoftPhoneWindowClass, kSoftPhoneWindowTitle);
        if (window == nullptr) return DialOutcome::SoftPhoneStarting;
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SendDlgItemMessageA(window, kSoftPhoneNumberBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    PressSoftPhoneButtons(request.number, PressButton, window);
    return DialOutcome::Dialled;
}

DialOutcome DialModem(const DialRequest& request) {
    if (modemSlot < 0) return DialOutcome::NoPort;
    static char scratch[kSerialLineBufferSize];  // replies are read and dropped
    for (int i = 0; i < kModemDrainReads; ++i) {
        SerialReadLine(modemSlot, scratch, sizeof scratch);
    }
    char dial[kModemDialBufferSize];
    const std::size_t length = FormatModemDial(request.modemCommand, request.number, dial, sizeof dial);
    SerialWrite(modemSlot, dial, static_cast<unsigned>(length));
    return DialOutcome::Dialled;
}

// Hands "tel:<digits>" to the app registered for tel: links.
DialOutcome DialTelephonyApp(const DialRequest& request) {
    char link[kTelLinkBytes];
    if (!FormatTelLink(request.number, link, sizeof link)) return DialOutcome::NothingToDo;
    const HINSTANCE started = ::ShellExecuteA(nullptr, "open", link, nullptr, nullptr, SW_SHOWNORMAL);
    // ShellExecute's results up to 32 are errors.
    return reinterpret_cast<INT_PTR>(started) > 32 ? DialOutcome::Dialled : DialOutcome::NoTelephonyApp;
}

}  // namespace

DialOutcome Dial(const DialRequest& request) {
    switch (request.channel) {
        case kConnectSoftPhone:
            return DialSoftPhone(request);
        case kConnectModem:
            return DialModem(request);
        case kConnectTelephonyApp:
            return DialTelephonyApp(request);
        default:
            return DialOutcome::NothingToDo;  // unknown channels place no call
    }
}

bool OpenModemPort(int comPort, int baudRate) {
    CloseModemPort();
    char portName[kPortNameSize];
    FormatModemPortName(comPort, portName, sizeof portName);
    if (portName[0] != '\0' && IsModemBaudRate(baudRate)) {
        modemSlot = SerialOpen(portName, baudRate, 8, 2, 0, 0);
    }
    if (modemSlot < 0) return false;
    SerialWrite(modemSlot, kModemEchoOff, sizeof kModemEchoOff - 1);
    return true;
}

void CloseModemPort() {
    SerialClose(modemSlot);
    modemSlot = -1;
}
