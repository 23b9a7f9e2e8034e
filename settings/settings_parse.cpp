#include "settings/settings_parse.h"

#include <climits>
#include <cstdio>
#include <cstring>

int ParseProfileInt(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    // Accumulate as a negative number so INT_MIN fits; clamp on overflow.
    long long value = 0;
    bool clamped = false;
    while (*p >= '0' && *p <= '9') {
        if (!clamped) {
            value = value * 10 + (*p - '0');
            if (value > static_cast<long long>(INT_MAX) + 1) clamped = true;
        }
        ++p;
    }
    if (negative) {
        if (clamped || -value < INT_MIN) return INT_MIN;
        return static_cast<int>(-value);
    }
    if (clamped || value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

void TrimTrailingBlanks(char* text) {
    if (!text) return;
    std::size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

void RemoveCommas(char* text) {
    if (!text) return;
    char* kept = text;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p != ',') *kept++ = *p;
    *kept = '\0';
}

void SplitFields(const char* value, ProfileFields& out) {
    out.count = 0;
    for (int i = 0; i < kMaxProfileFields; ++i) out.field[i][0] = '\0';
    char work[kProfileBufferSize];
    CopyTruncated(work, sizeof work, value);
    const char* p = work;
    while (out.count < kMaxProfileFields) {
        while (*p == ',') ++p;
        if (*p == '\0') break;
        const char* start = p;
        while (*p != ',' && *p != '\0') ++p;
        std::size_t len = static_cast<std::size_t>(p - start);
        std::memcpy(out.field[out.count], start, len);
        out.field[out.count][len] = '\0';
        ++out.count;
    }
}

void ApplyCallParams(MonitorSettings& s, const char* value) {
    ProfileFields f;
    SplitFields(value, f);
    if (f.count >= 1) {
        CopyTruncated(s.callNumber, sizeof s.callNumber, f.field[0]);
        TrimTrailingBlanks(s.callNumber);
    }
    if (f.count >= 2) s.callingDelay = ParseProfileInt(f.field[1]);
    if (f.count >= 3) s.maxCalls = ParseProfileInt(f.field[2]);
}

void ApplyReaction(MonitorSettings& s, const char* value) {
    ProfileFields f;
    SplitFields(value, f);
    int32_t* const sliders[kMaxProfileFields] = {&s.sensitivity, &s.micThreshold, &s.callThreshold};
    for (int i = 0; i < f.count; ++i) *sliders[i] = ParseProfileInt(f.field[i]);
}

void ApplyModem(MonitorSettings& s, const char* value) {
    ProfileFields f;
    SplitFields(value, f);
    if (f.count >= 1) s.comPort = ParseProfileInt(f.field[0]);
    if (f.count >= 2) s.baudRate = ParseProfileInt(f.field[1]);
    if (f.count >= 3) CopyTruncated(s.modemCommand, sizeof s.modemCommand, f.field[2]);
}

namespace {
// snprintf that always leaves a terminated (possibly cut) text.
template <class... Args>
void FormatInto(char* out, std::size_t size, const char* format, Args... args) {
    if (!out || size == 0) return;
    int n = std::snprintf(out, size, format, args...);
    if (n < 0) out[0] = '\0';
}
}  // namespace

void FormatInt(char* out, std::size_t size, int value) { FormatInto(out, size, "%d", value); }

void FormatCallParams(char* out, std::size_t size, const MonitorSettings& s) {
    char number[sizeof s.callNumber];
    FormatInto(out, size, "%s,%d,%d", CopyField(number, s.callNumber), static_cast<int>(s.callingDelay),
               static_cast<int>(s.maxCalls));
}

void FormatReaction(char* out, std::size_t size, const MonitorSettings& s) {
    FormatInto(out, size, "%d,%d,%d", static_cast<int>(s.sensitivity), static_cast<int>(s.micThreshold),
               static_cast<int>(s.callThreshold));
}

void FormatModem(char* out, std::size_t size, const MonitorSettings& s) {
    char command[sizeof s.modemCommand];
    FormatInto(out, size, "%d,%d,%s", static_cast<int>(s.comPort), static_cast<int>(s.baudRate),
               CopyField(command, s.modemCommand));
}

void FormatDefaultSoftPhonePath(char* out, std::size_t size, const char* programFolder) {
    FormatInto(out, size, "%s\\1&1\\1&1 SoftPhone\\ipphone.exe", programFolder ? programFolder : "");
}

unsigned TextIdForLanguage(unsigned id, int language) {
    return language != 0 ? id + 10000u : id;
}
