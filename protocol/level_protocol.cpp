// The level protocol: one text file per monitoring run, one line a second.
// Standard library only.
#include "protocol/level_protocol.h"

#include <cstdio>
#include <new>

#include "base/bounded_copy.h"

namespace {

// Buffer of the file name; the name of a run never gets longer than this.
constexpr std::size_t kFileNameBytes = 512;
// One line: "DD.MM.YYYY\tHH:MM:SS\t100.0" and room for odd field values.
constexpr std::size_t kLineBytes = 128;

// The broken-down time may hold anything; widen before the offsets so that
// no field can overflow on its way to the text.
long long Field(int value, long long offset) { return static_cast<long long>(value) + offset; }

bool Finish(char* out, std::size_t size, int written) {
    if (written < 0 || static_cast<std::size_t>(written) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

bool FormatProtocolFileName(char* out, std::size_t size, const char* folder, const std::tm& start) {
    if (!out || size == 0) return false;
    if (!folder) {
        out[0] = '\0';
        return false;
    }
    const int written = std::snprintf(out, size, "%s\\%02lld-%02lld-%05lld-%02lld-%02lld-%02lld.log",
                                      folder, Field(start.tm_mday, 0), Field(start.tm_mon, 1),
                                      Field(start.tm_year, 1900), Field(start.tm_hour, 0),
                                      Field(start.tm_min, 0), Field(start.tm_sec, 0));
    return Finish(out, size, written);
}

bool FormatProtocolLine(char* out, std::size_t size, const std::tm& now, double alarmLevel) {
    if (!out || size == 0) return false;
    const int written = std::snprintf(out, size, "%02lld.%02lld.%04lld\t%02lld:%02lld:%02lld\t%1.1f",
                                      Field(now.tm_mday, 0), Field(now.tm_mon, 1),
                                      Field(now.tm_year, 1900), Field(now.tm_hour, 0),
                                      Field(now.tm_min, 0), Field(now.tm_sec, 0), alarmLevel * 100.0);
    return Finish(out, size, written);
}

void OpenProtocol(MonitorState& state, const std::tm& start) {
    // A run never inherits the file of an earlier one.
    CloseProtocol(state);

    // The folder is a fixed 260-byte field: never read past it, even unterminated.
    char folder[sizeof state.protocolFolder + 1];
    CopyTruncated(folder, sizeof folder, state.protocolFolder);

    char name[kFileNameBytes];
    if (!FormatProtocolFileName(name, sizeof name, folder, start)) return;
    // Text mode: on Windows every "\n" is stored as CR LF.
    state.protocolFile = std::fopen(name, "w");
    if (!state.protocolFile) return;

    // The picture goes beside the file, as "<same name>.png". The record
    // takes all its memory now: a tick never allocates.
    try {
        auto run = std::make_unique<RunRecord>();
        run->start = start;
        run->picture = name;
        run->picture.replace(run->picture.size() - 4, 4, ".png");
        run->stretches.reserve(kRunStretches);
        run->events.reserve(kRunMarks);
        state.run = run.release();
    } catch (const std::bad_alloc&) {
        // The run goes on without a picture.
    }
}

void WriteProtocolLine(const MonitorSettings& settings, MonitorState& state, const std::tm& now) {
    if (settings.logging == 0 || !state.protocolFile) return;
    char line[kLineBytes];
    if (!FormatProtocolLine(line, sizeof line, now, state.alarmLevel)) return;
    // Buffered by the stream; reaches the disk at the latest when the file is closed.
    std::fprintf(state.protocolFile, "%s\n", line);
    if (state.run) RecordSecond(*state.run, state.alarmLevel, state.alarmThreshold, now);
}

void MarkProtocolCall(MonitorState& state, RunMark mark) {
    if (state.run) RecordMark(*state.run, mark, state.tickCount);
}

std::unique_ptr<RunRecord> TakeRunRecord(MonitorState& state) {
    std::unique_ptr<RunRecord> run(state.run);
    state.run = nullptr;
    if (run && run->seconds == 0) run.reset();
    return run;
}

void CloseProtocol(MonitorState& state) {
    delete state.run;
    state.run = nullptr;
    if (!state.protocolFile) return;
    std::fclose(state.protocolFile);
    state.protocolFile = nullptr;
}
