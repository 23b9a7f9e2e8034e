// What the dialler sends, worked out without the platform: the softphone's
// buttons for a number, the modem's dial command, the port name and the baud
// rates a modem port accepts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/monitor_settings.h"

// A number to dial: the settings' call number, or up to 249 characters that
// the connection test takes from its dialog.
constexpr std::size_t kDialNumberBytes = 250;

// One call, with everything the dialler needs: taken from the settings when
// the call is decided, so the dialler reads no settings of its own.
struct DialRequest {
    int32_t channel;  // ConnectionType; any other value places no call
    char number[kDialNumberBytes];
    char program[sizeof MonitorSettings::softPhonePath];
    char modemCommand[sizeof MonitorSettings::modemCommand];
    // The softphone was started for this call already: only look for its window.
    bool retry;
};

// The request for a call to the settings' number through their channel,
// program and modem command. Fields without a terminator are cut to fit.
DialRequest MakeDialRequest(const MonitorSettings& settings);

// What became of a call.
enum class DialOutcome {
    Dialled,            // the softphone or the modem was given the number
    SoftPhoneStarting,  // its program was started, but its window is not there yet
    SoftPhoneNotFound,  // no softphone window, and its program could not be started
    NoTelephonyApp,     // no app is registered for tel: links, or it could not be started
    NoPort,             // the modem channel, but no modem port is open
    NothingToDo,        // a channel that places no call
};

// The softphone's remote-control interface.
constexpr char kSoftPhoneWindowClass[] = "#32770";
constexpr char kSoftPhoneWindowTitle[] = "1&1 Softphone";
constexpr int kSoftPhoneNumberBox = 1024;
constexpr int kSoftPhoneFirstDigitButton = 1009;  // "1"; "2".."9" follow in order
constexpr int kSoftPhoneZeroButton = 1019;
constexpr int kSoftPhoneDialButton = 1006;

// The button id of a digit, or 0 for any other character.
int SoftPhoneDigitButton(char c);

// Calls press(id, context) for every button the softphone gets for `number`,
// in order: the digits' buttons (other characters are skipped), then the
// dial button. A null number counts as empty.
using SoftPhonePress = void (*)(int buttonId, void* context);
void PressSoftPhoneButtons(const char* number, SoftPhonePress press, void* context);

// The modem's texts.
// "tel:" and the number's digits, with a "+" only in front of the first one;
// every other character is dropped. False (and an empty text) when the
// number has no digit or the link does not fit: no call rather than a wrong one.
constexpr std::size_t kTelLinkBytes = 4 + kDialNumberBytes;
bool FormatTelLink(const char* number, char* out, std::size_t size);

constexpr char kModemEchoOff[] = "ATE0\r";
constexpr std::size_t kModemDialBufferSize = 512;

// The dial command "<command> <number>" and a carriage return, into `out` of
// `size` bytes, NUL-terminated. Should it not fit, the text is cut so that
// the carriage return still ends it. Null texts count as empty. Returns the
// length written (0 when size < 2).
std::size_t FormatModemDial(const char* command, const char* number, char* out, std::size_t size);

// "COM<port>" into `out`; any int fits in 16 bytes. Returns the length, or 0
// when `size` is too small (out then holds an empty text, if it holds anything).
constexpr std::size_t kPortNameSize = 16;
std::size_t FormatModemPortName(int port, char* out, std::size_t size);

// The baud rates a modem port is opened with, in bits per second.
constexpr int kModemBaudRates[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                   14400, 19200, 38400, 56000, 57600, 115200};
constexpr std::size_t kModemBaudRateCount = sizeof kModemBaudRates / sizeof kModemBaudRates[0];
bool IsModemBaudRate(int baudRate);
