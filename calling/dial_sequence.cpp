#include "calling/dial_sequence.h"

#include <cstdio>

#include "base/bounded_copy.h"

DialRequest MakeDialRequest(const MonitorSettings& settings) {
    DialRequest request;
    request.channel = settings.connectionType;
    static_assert(sizeof request.number >= sizeof settings.callNumber, "the number fits");
    CopyTruncated(request.number, sizeof settings.callNumber, settings.callNumber);
    CopyField(request.program, settings.softPhonePath);
    CopyField(request.modemCommand, settings.modemCommand);
    request.retry = false;
    return request;
}

int SoftPhoneDigitButton(char c) {
    if (c == '0') return kSoftPhoneZeroButton;
    if (c >= '1' && c <= '9') return kSoftPhoneFirstDigitButton + (c - '1');
    return 0;
}

void PressSoftPhoneButtons(const char* number, SoftPhonePress press, void* context) {
    if (press == nullptr) return;
    if (number != nullptr) {
        for (const char* p = number; *p != '\0'; ++p) {
            const int id = SoftPhoneDigitButton(*p);
            if (id != 0) press(id, context);
        }
    }
    press(kSoftPhoneDialButton, context);
}

bool FormatTelLink(const char* number, char* out, std::size_t size) {
    if (!out || size == 0) return false;
    static const char kScheme[] = "tel:";
    std::size_t n = 0;
    bool digits = false;
    for (const char* p = kScheme; *p != '\0' && n + 1 < size; ++p) out[n++] = *p;
    for (const char* p = number ? number : ""; *p != '\0'; ++p) {
        const bool digit = *p >= '0' && *p <= '9';
        if (!digit && !(*p == '+' && n == sizeof kScheme - 1)) continue;
        if (n + 1 >= size) {
            out[0] = '\0';
            return false;
        }
        out[n++] = *p;
        digits = digits || digit;
    }
    out[n] = '\0';
    if (!digits) out[0] = '\0';
    return digits;
}

std::size_t FormatModemDial(const char* command, const char* number, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    out[0] = '\0';
    if (size < 2) return 0;
    const std::size_t room = size - 2;  // text, then carriage return and NUL
    std::size_t n = 0;
    const char* parts[3] = {command ? command : "", " ", number ? number : ""};
    for (const char* part : parts) {
        for (const char* p = part; *p != '\0' && n < room; ++p) out[n++] = *p;
    }
    out[n++] = '\r';
    out[n] = '\0';
    return n;
}

std::size_t FormatModemPortName(int port, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    const int n = std::snprintf(out, size, "COM%d", port);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(n);
}

bool IsModemBaudRate(int baudRate) {
    for (int rate : kModemBaudRates) {
        if (rate == baudRate) return true;
    }
    return false;
}
