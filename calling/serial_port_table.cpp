#include "calling/serial_port_table.h"

#include <cstring>

namespace {

bool ValidSlot(int slot) { return slot >= 0 && slot < kSerialSlotCount; }

void EmptyLineBuffer(SerialSlot& s) {
    s.bufferedCount = 0;
    s.lineBuffer[0] = '\0';
}

// The count as the buffer can hold it: a damaged count restarts the buffer
// rather than reaching past its end.
int CheckedCount(SerialSlot& s) {
    if (s.bufferedCount < 0 || s.bufferedCount >= static_cast<int>(kSerialLineBufferSize)) {
        EmptyLineBuffer(s);
    }
    return s.bufferedCount;
}

void ApplyLineCodes(SerialLineSettings& ls, int baudRate, int byteSize, int parityCode,
                    int stopBitsCode, int flowCode) {
    ls.baudRate = static_cast<uint32_t>(baudRate);
    ls.byteSize = static_cast<uint8_t>(byteSize & 0xFF);

    switch (parityCode) {
        case 0: ls.parity = kParityEven; break;
        case 1: ls.parity = kParityMark; break;
        case 2: ls.parity = kParityNone; break;
        case 3: ls.parity = kParityOdd; break;
        default: break;  // as the port has it
    }

    switch (stopBitsCode) {
        case 0: ls.stopBits = kStopBitsOne; break;
        case 1: ls.stopBits = kStopBitsOneAndHalf; break;
        case 2: ls.stopBits = kStopBitsTwo; break;
        default: break;
    }

    // Flow code 1: hardware handshake lines on, XON/XOFF off; 2: the reverse.
    if (flowCode == 1 || flowCode == 2) {
        const bool software = flowCode == 2;
        ls.dtrControl = software ? kLineDisable : kLineEnable;
        ls.rtsControl = ls.dtrControl;
        ls.outX = software;
        ls.inX = software;
    }
}

// Opens and configures the port into `slot`; on failure everything opened
// is closed again and the slot is left as it was.
bool OpenPortInto(SerialSlot& slot, SerialPortDriver& driver, const char* portName,
                  int baudRate, int byteSize, int parityCode, int stopBitsCode,
                  int flowCode) {
    SerialHandle handle = 0;
    if (!driver.Open(portName, &handle)) return false;
    if (handle == 0) return false;  // not a port this table can hold

    SerialLineSettings settings;
    std::memset(&settings, 0, sizeof settings);
    if (!driver.GetLineSettings(handle, &settings)) {
        driver.Close(handle);
        return false;
    }
    ApplyLineCodes(settings, baudRate, byteSize, parityCode, stopBitsCode, flowCode);
    if (!driver.SetLineSettings(handle, settings)) {
        driver.Close(handle);
        return false;
    }

    // Reads return at once with whatever has arrived. Should the port not
    // report its time-outs, the totals are 0, which means the same.
    SerialTimeouts timeouts = {0, 0, 0, 0, 0};
    (void)driver.GetTimeouts(handle, &timeouts);
    timeouts.readInterval = kSerialMaxTimeout;
    (void)driver.SetTimeouts(handle, timeouts);
    (void)driver.SetQueueSizes(handle, kSerialQueueSize, kSerialQueueSize);
    (void)driver.Flush(handle);

    slot.handle = handle;
    slot.lineSettings = settings;
    return true;
}

void CopyLine(char* destination, std::size_t capacity, const char* line, std::size_t length) {
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(destination, line, length);
    destination[length] = '\0';
}

}  // namespace

int SerialOpen(SerialPortTable& table, SerialPortDriver& driver, const char* portName,
               int baudRate, int byteSize, int parityCode, int stopBitsCode, int flowCode) {
    if (portName == nullptr) return -1;
    for (int i = 0; i < kSerialSlotCount; ++i) {
        if (table.slotInUse[i] != 0) continue;
        SerialSlot& slot = table.slots[i];
        if (portName[0] == '\0') {
            slot.handle = 0;
        } else if (!OpenPortInto(slot, driver, portName, baudRate, byteSize, parityCode,
                                 stopBitsCode, flowCode)) {
            continue;  // the next free slot tries the same port again
        }
        EmptyLineBuffer(slot);
        slot.terminator = kSerialCarriageReturn;
        table.slotInUse[i] = 1;
        return i;
    }
    return -1;
}

int SerialClose(SerialPortTable& table, SerialPortDriver& driver, int slot) {
    if (!ValidSlot(slot) || table.slotInUse[slot] == 0) return 0;
    SerialSlot& s = table.slots[slot];
    // A slot taken without a port has nothing to close; handing 0 on to the
    // platform could only fail, or worse.
    if (s.handle != 0) driver.Close(s.handle);
    s.handle = 0;
    table.slotInUse[slot] = 0;
    return 1;
}

unsigned SerialWrite(SerialPortTable& table, SerialPortDriver& driver, int slot,
                     const void* bytes, unsigned count) {
    if (!ValidSlot(slot) || table.slotInUse[slot] == 0) return 0;
    const SerialSlot& s = table.slots[slot];
    if (s.handle == 0) return 0;  // taken without a port: nothing to write to
    if (bytes == nullptr && count != 0) return 0;
    uint32_t done = 0;
    if (!driver.Write(s.handle, bytes, static_cast<uint32_t>(count), &done)) return 0;
    return done > count ? count : done;
}

int SerialReadLine(SerialPortTable& table, SerialPortDriver& driver, int slot,
                   char* destination, std::size_t capacity) {
    if (!ValidSlot(slot) || table.slotInUse[slot] == 0) return 0;
    if (destination == nullptr || capacity == 0) return 0;
    SerialSlot& s = table.slots[slot];
    const int count = CheckedCount(s);
    if (count >= kSerialReadStopCount) return 0;
    if (s.handle == 0) return 0;  // taken without a port: every read fails

    uint32_t got = 0;
    if (!driver.Read(s.handle, s.lineBuffer + count, kSerialReadChunk, &got)) return 0;
    if (got > kSerialReadChunk) got = kSerialReadChunk;  // never believe more than was asked
    s.bufferedCount = count + static_cast<int>(got);
    s.lineBuffer[s.bufferedCount] = '\0';

    char line[kSerialLineBufferSize];
    if (SerialExtractLine(table, slot, line, sizeof line) == 0) return 0;
    CopyLine(destination, capacity, line, std::strlen(line));
    return 1;
}

int SerialExtractLine(SerialPortTable& table, int slot, char* destination,
                      std::size_t capacity) {
    if (!ValidSlot(slot)) return 0;
    if (destination == nullptr || capacity == 0) return 0;
    SerialSlot& s = table.slots[slot];
    const int count = CheckedCount(s);

    // Line feeds go; everything else keeps its order.
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (s.lineBuffer[i] != '\n') s.lineBuffer[kept++] = s.lineBuffer[i];
    }
    s.bufferedCount = kept;
    s.lineBuffer[kept] = '\0';

    // The text ends at its first NUL, which the NUL behind the count guarantees.
    const char* text = s.lineBuffer;
    const char* end = static_cast<const char*>(std::memchr(text, s.terminator, kept));
    const std::size_t textLength = std::strlen(text);
    if (end == nullptr || static_cast<std::size_t>(end - text) >= textLength) {
        // No terminator before the text's end. (A NUL terminator can never end
        // a line: the text has ended there.)
        return 0;
    }

    const std::size_t lineLength = static_cast<std::size_t>(end - text);
    CopyLine(destination, capacity, text, lineLength);

    const std::size_t restLength = textLength - lineLength - 1;
    std::memmove(s.lineBuffer, end + 1, restLength);
    s.lineBuffer[restLength] = '\0';
    s.bufferedCount = static_cast<int>(restLength);
    return 1;
}

SerialPortTable& ProgramSerialPortTable() {
    static SerialPortTable table;  // static storage: every slot free, buffers empty
    return table;
}

int SerialOpen(const char* portName, int baudRate, int byteSize, int parityCode,
               int stopBitsCode, int flowCode) {
    return SerialOpen(ProgramSerialPortTable(), PlatformSerialPortDriver(), portName, baudRate,
                      byteSize, parityCode, stopBitsCode, flowCode);
}

int SerialClose(int slot) {
    return SerialClose(ProgramSerialPortTable(), PlatformSerialPortDriver(), slot);
}

unsigned SerialWrite(int slot, const void* bytes, unsigned count) {
    return SerialWrite(ProgramSerialPortTable(), PlatformSerialPortDriver(), slot, bytes, count);
}

int SerialReadLine(int slot, char* destination, std::size_t capacity) {
    return SerialReadLine(ProgramSerialPortTable(), PlatformSerialPortDriver(), slot,
                          destination, capacity);
}
