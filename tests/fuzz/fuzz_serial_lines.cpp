// The serial port table's line reading over a port whose bytes arrive in
// chunks the fuzzer chooses, read by as many calls as it chooses, with reads
// that fail now and then. Each call must do what the reading rules say, and
// the lines that come out must be the stream's lines (line feeds dropped,
// split at carriage returns) however the stream was cut.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "calling/serial_port_table.h"
#include "fuzz_check.h"

namespace {

// One open port: what has arrived waits here until the table reads it.
class ChunkedPort : public SerialPortDriver {
public:
    std::string arrived;  // from `taken` on, not yet read
    std::size_t taken = 0;
    bool failRead = false;
    int reads = 0;

    bool Open(const char*, SerialHandle* handle) override {
        *handle = 1;
        return true;
    }
    bool GetLineSettings(SerialHandle, SerialLineSettings* s) override {
        std::memset(s, 0, sizeof *s);
        return true;
    }
    bool SetLineSettings(SerialHandle, const SerialLineSettings&) override { return true; }
    bool GetTimeouts(SerialHandle, SerialTimeouts* t) override {
        std::memset(t, 0, sizeof *t);
        return true;
    }
    bool SetTimeouts(SerialHandle, const SerialTimeouts&) override { return true; }
    bool SetQueueSizes(SerialHandle, uint32_t, uint32_t) override { return true; }
    bool Flush(SerialHandle) override { return true; }
    bool Read(SerialHandle handle, void* buffer, uint32_t capacity, uint32_t* done) override {
        FUZZ_CHECK(handle == 1);
        FUZZ_CHECK(capacity <= kSerialReadChunk);
        ++reads;
        *done = 0;
        if (failRead) return false;
        const std::size_t waiting = arrived.size() - taken;
        const std::size_t n = capacity < waiting ? capacity : waiting;
        std::memcpy(buffer, arrived.data() + taken, n);
        taken += n;
        *done = static_cast<uint32_t>(n);
        return true;
    }
    bool Write(SerialHandle, const void*, uint32_t, uint32_t* done) override {
        *done = 0;
        return false;
    }
    void Close(SerialHandle) override {}
};

constexpr std::size_t kMaxStream = 12 * 1024;  // enough to fill a slot's buffer
constexpr unsigned char kUntouched = 0xA5;

// A slot's line buffer as the reading rules describe it, step by step.
struct LineModel {
    std::string buffer;

    // What one SerialReadLine must do, given what waits at the port.
    int ReadLine(const ChunkedPort& port, std::string* line) {
        if (buffer.size() >= static_cast<std::size_t>(kSerialReadStopCount)) return 0;  // no read
        if (port.failRead) return 0;
        const std::size_t waiting = port.arrived.size() - port.taken;
        buffer.append(port.arrived, port.taken, waiting < kSerialReadChunk ? waiting : kSerialReadChunk);
        if (buffer.find('\n') != std::string::npos)
            buffer.erase(std::remove(buffer.begin(), buffer.end(), '\n'), buffer.end());
        const std::string text = buffer.substr(0, buffer.find('\0'));  // a NUL ends the text
        const std::size_t cr = text.find('\r');
        if (cr == std::string::npos) return 0;  // no complete line: everything stays
        *line = text.substr(0, cr);
        buffer = text.substr(cr + 1);
        return 1;
    }
};

struct Run {
    SerialPortTable table;
    ChunkedPort port;
    LineModel model;
    int slot = -1;
    std::vector<std::string> lines;
    char destination[kSerialLineBufferSize];

    SerialSlot& Slot() { return table.slots[slot]; }
    bool Stuck() { return Slot().bufferedCount >= kSerialReadStopCount; }

    // One SerialReadLine, checked against the model and the rules of a call.
    int ReadOnce() {
        SerialSlot& s = Slot();
        const bool full = s.bufferedCount >= kSerialReadStopCount;
        const int readsBefore = port.reads;
        std::string expectedLine;
        const int expected = model.ReadLine(port, &expectedLine);
        std::memset(destination, kUntouched, sizeof destination);

        const int result = SerialReadLine(table, port, slot, destination, sizeof destination);

        FUZZ_CHECK(result == expected);
        FUZZ_CHECK(port.reads == readsBefore + (full ? 0 : 1));  // one read, none when full
        FUZZ_CHECK(s.bufferedCount >= 0 && s.bufferedCount <= 8191);
        FUZZ_CHECK(s.lineBuffer[s.bufferedCount] == '\0');
        FUZZ_CHECK(static_cast<std::size_t>(s.bufferedCount) == model.buffer.size());
        FUZZ_CHECK(std::memcmp(s.lineBuffer, model.buffer.data(), model.buffer.size()) == 0);
        if (result == 1) {
            FUZZ_CHECK(TerminatedWithin(destination, sizeof destination));
            const std::string line(destination);
            FUZZ_CHECK(line == expectedLine);
            FUZZ_CHECK(line.find('\r') == std::string::npos);
            lines.push_back(line);
        } else {
            FUZZ_CHECK(AllBytesAre(destination, kUntouched, sizeof destination));
        }
        return result;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static Run* run = new Run;
    std::memset(&run->table, 0, sizeof run->table);  // every slot free, buffers empty
    run->port.arrived.clear();
    run->port.taken = 0;
    run->port.failRead = false;
    run->port.reads = 0;
    run->model.buffer.clear();
    run->lines.clear();

    run->slot = SerialOpen(run->table, run->port, "COM1", 115200, 8, 2, 0, 0);
    FUZZ_CHECK(run->slot == 0);

    std::string stream;
    std::string chunk;
    while (in.remaining_bytes() > 0 && stream.size() < kMaxStream) {
        // How the next piece arrives and how often the table is asked.
        const uint8_t how = in.ConsumeIntegral<uint8_t>();
        switch ((how >> 4) & 3) {
            case 0: chunk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 16)); break;
            case 1: chunk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 300)); break;
            case 2: chunk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 3000)); break;
            default: {  // the previous piece again, several times over
                const std::string once = chunk;
                const int times = in.ConsumeIntegralInRange<int>(1, 64);
                for (int i = 1; i < times; ++i) chunk += once;
            }
        }
        run->port.arrived += chunk;
        stream += chunk;

        const int calls = how & 15;
        run->port.failRead = (how & 0x40) != 0 && calls > 0;
        for (int i = 0; i < calls; ++i) {
            run->ReadOnce();
            run->port.failRead = false;  // only the first call of a round fails
        }
        run->port.failRead = false;
        if (how & 0x80) {
            while (run->ReadOnce() == 1) {
            }
        }
    }

    // Ask until everything that arrived has been read and no line is left.
    for (;;) {
        const int result = run->ReadOnce();
        if (result == 0 && (run->port.taken == run->port.arrived.size() || run->Stuck())) break;
    }

    if (stream.find('\0') != std::string::npos) return 0;  // a NUL ends the text; no line rule

    // The stream's lines: line feeds dropped, split at carriage returns.
    std::vector<std::string> complete;
    std::string rest;
    for (char c : stream) {
        if (c == '\n') continue;
        if (c == '\r') {
            complete.push_back(rest);
            rest.clear();
        } else {
            rest += c;
        }
    }
    const std::vector<std::string>& lines = run->lines;
    FUZZ_CHECK(lines.size() <= complete.size());
    for (std::size_t i = 0; i < lines.size(); ++i) FUZZ_CHECK(lines[i] == complete[i]);
    if (!run->Stuck()) {
        // Nothing was ever refused, so every line came out and the rest waits.
        FUZZ_CHECK(lines.size() == complete.size());
        const SerialSlot& s = run->Slot();
        FUZZ_CHECK(std::string(s.lineBuffer, s.bufferedCount) == rest);
    }
    return 0;
}
