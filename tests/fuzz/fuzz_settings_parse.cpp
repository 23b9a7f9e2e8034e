// The profile's value rules over any stored text: the integer rule, the
// splitting into comma-separated fields, and the three split values applied
// to the settings record. The input is the registry text (up to its NUL).
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "settings/settings_parse.h"

namespace {

// Integer rule by the C library: white space, sign, decimal digits; beyond
// the int range the value saturates.
int ExpectedInt(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// The fields of a value as read into the working buffer: commas separate,
// empty fields are dropped.
std::vector<std::string> ExpectedFields(const std::string& value) {
    const std::string cut = value.substr(0, kProfileBufferSize - 1);
    std::vector<std::string> fields;
    std::string current;
    for (char c : cut) {
        if (c == ',') {
            if (!current.empty()) fields.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) fields.push_back(current);
    return fields;
}

std::string TrimmedBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

template <std::size_t N>
std::string Field(const char (&field)[N]) {
    FUZZ_CHECK(TerminatedWithin(field, N));
    return std::string(field);
}

// A record whose every byte is known, so that untouched fields can be seen.
MonitorSettings Marked() {
    MonitorSettings s;
    std::memset(&s, 0x5A, sizeof s);
    s.modemCommand[sizeof s.modemCommand - 1] = '\0';
    s.callNumber[sizeof s.callNumber - 1] = '\0';
    s.softPhonePath[sizeof s.softPhonePath - 1] = '\0';
    return s;
}

bool SameBytes(const MonitorSettings& a, const MonitorSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckInt(const char* text) {
    const int got = ParseProfileInt(text);
    FUZZ_CHECK(got == ExpectedInt(text));
    char written[kProfileBufferSize];
    FormatInt(written, sizeof written, got);
    FUZZ_CHECK(ParseProfileInt(written) == got);
}

void CheckSplit(const std::string& value, const std::vector<std::string>& expected) {
    static ProfileFields f;
    std::memset(&f, 0x5A, sizeof f);
    SplitFields(value.c_str(), f);
    const std::size_t wanted = expected.size() < 3 ? expected.size() : 3;
    FUZZ_CHECK(f.count >= 0 && static_cast<std::size_t>(f.count) == wanted);
    for (int i = 0; i < f.count; ++i) FUZZ_CHECK(Field(f.field[i]) == expected[i]);
    for (const std::string& field : expected) CheckInt(field.c_str());
}

void CheckCallParams(const std::string& value, const std::vector<std::string>& fields) {
    const MonitorSettings before = Marked();
    MonitorSettings s = before;
    ApplyCallParams(s, value.c_str());

    MonitorSettings expected = before;
    if (fields.size() >= 1) {
        const std::string number = TrimmedBlanks(fields[0].substr(0, sizeof s.callNumber - 1));
        FUZZ_CHECK(Field(s.callNumber) == number);
        std::memcpy(expected.callNumber, s.callNumber, sizeof s.callNumber);
    }
    if (fields.size() >= 2) expected.callingDelay = ParseProfileInt(fields[1].c_str());
    if (fields.size() >= 3) expected.maxCalls = ParseProfileInt(fields[2].c_str());
    FUZZ_CHECK(SameBytes(s, expected));

    // What the store writes reads back to the same number, delay and maximum,
    // as long as there is a number to hold the first place.
    if (s.callNumber[0] != '\0') {
        char stored[kProfileBufferSize];
        FormatCallParams(stored, sizeof stored, s);
        MonitorSettings again = Marked();
        ApplyCallParams(again, stored);
        FUZZ_CHECK(Field(again.callNumber) == Field(s.callNumber));
        FUZZ_CHECK(again.callingDelay == s.callingDelay && again.maxCalls == s.maxCalls);
    }
}

void CheckReaction(const std::string& value, const std::vector<std::string>& fields) {
    const MonitorSettings before = Marked();
    MonitorSettings s = before;
    ApplyReaction(s, value.c_str());
    MonitorSettings expected = before;
    int32_t* const sliders[] = {&expected.sensitivity, &expected.micThreshold, &expected.callThreshold};
    for (std::size_t i = 0; i < fields.size() && i < 3; ++i) *sliders[i] = ParseProfileInt(fields[i].c_str());
    FUZZ_CHECK(SameBytes(s, expected));

    char stored[kProfileBufferSize];
    FormatReaction(stored, sizeof stored, s);
    MonitorSettings again = Marked();
    ApplyReaction(again, stored);
    FUZZ_CHECK(again.sensitivity == s.sensitivity && again.micThreshold == s.micThreshold &&
               again.callThreshold == s.callThreshold);
}

void CheckModem(const std::string& value, const std::vector<std::string>& fields) {
    const MonitorSettings before = Marked();
    MonitorSettings s = before;
    ApplyModem(s, value.c_str());
    MonitorSettings expected = before;
    if (fields.size() >= 1) expected.comPort = ParseProfileInt(fields[0].c_str());
    if (fields.size() >= 2) expected.baudRate = ParseProfileInt(fields[1].c_str());
    if (fields.size() >= 3) {
        const std::string command = fields[2].substr(0, sizeof s.modemCommand - 1);
        FUZZ_CHECK(Field(s.modemCommand) == command);
        std::memcpy(expected.modemCommand, s.modemCommand, sizeof s.modemCommand);
    }
    FUZZ_CHECK(SameBytes(s, expected));

    char stored[kProfileBufferSize];
    FormatModem(stored, sizeof stored, s);
    MonitorSettings again = Marked();
    ApplyModem(again, stored);
    FUZZ_CHECK(again.comPort == s.comPort && again.baudRate == s.baudRate);
    FUZZ_CHECK(Field(again.modemCommand) == Field(s.modemCommand));
}

// Any bytes at all in the record's text fields: the stored texts stay in
// their buffer, terminated.
void CheckFormatsOfRawRecord(const uint8_t* data, std::size_t size) {
    MonitorSettings s;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&s);
    for (std::size_t i = 0; i < sizeof s; ++i) bytes[i] = size ? data[i % size] : 0;
    const std::size_t rooms[] = {0, 1, 16, kProfileBufferSize};
    static char out[kProfileBufferSize + 16];
    void (*const formats[])(char*, std::size_t, const MonitorSettings&) = {
        FormatCallParams, FormatModem, FormatReaction};
    for (auto format : formats) {
        for (std::size_t room : rooms) {
            std::memset(out, '#', sizeof out);
            format(out, room, s);
            FUZZ_CHECK(AllBytesAre(out + room, '#', sizeof out - room));
            FUZZ_CHECK(room == 0 || TerminatedWithin(out, room));
        }
    }
}

// The default softphone path from whatever folder the system names.
void CheckDefaultSoftPhonePath(const std::string& folder) {
    static char out[sizeof MonitorSettings{}.softPhonePath + 16];
    const std::size_t room = sizeof MonitorSettings{}.softPhonePath;
    std::memset(out, '#', sizeof out);
    FormatDefaultSoftPhonePath(out, room, folder.c_str());
    FUZZ_CHECK(AllBytesAre(out + room, '#', sizeof out - room));
    FUZZ_CHECK(TerminatedWithin(out, room));
    const std::string whole = folder + "\\1&1\\1&1 SoftPhone\\ipphone.exe";
    FUZZ_CHECK(std::string(out) == whole.substr(0, room - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string value(raw.c_str());

    CheckInt(value.c_str());

    std::string trimmed = value;
    TrimTrailingBlanks(&trimmed[0]);
    FUZZ_CHECK(std::string(trimmed.c_str()) == TrimmedBlanks(value));

    const std::vector<std::string> fields = ExpectedFields(value);
    CheckSplit(value, fields);
    CheckCallParams(value, fields);
    CheckReaction(value, fields);
    CheckModem(value, fields);
    CheckFormatsOfRawRecord(data, size);
    CheckDefaultSoftPhonePath(value);
    return 0;
}
