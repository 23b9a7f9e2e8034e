// The serial port table: ten numbered slots, each an open port (or a slot
// taken without one) with its buffer of received characters. Ports are
// opened by name with line settings, written to, read line by line and
// closed. Every operation reports by its result only; nothing is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calling/serial_port_driver.h"

constexpr int kSerialSlotCount = 10;
constexpr std::size_t kSerialLineBufferSize = 8192;  // line buffer and line destinations
constexpr int kSerialReadStopCount = 7936;           // no read once this much is buffered
constexpr uint32_t kSerialReadChunk = 256;           // bytes asked for per read
constexpr uint32_t kSerialQueueSize = 16384;         // driver queues, each direction
constexpr char kSerialCarriageReturn = '\r';

struct SerialSlot {
    SerialHandle handle;  // 0 for a slot taken without a port
    SerialLineSettings lineSettings;
    char lineBuffer[kSerialLineBufferSize];  // always NUL behind the last character
    int bufferedCount;                       // at most 8191
    char terminator;
};

// Zero-initialised (static storage, or value-initialised) it is a table with
// every slot free and every buffer empty.
struct SerialPortTable {
    SerialSlot slots[kSerialSlotCount];
    int slotInUse[kSerialSlotCount];
};

// Parity codes: 0 even, 1 mark, 2 none, 3 odd, other: as the port has it.
// Stop-bits codes: 0 one, 1 one and a half, 2 two, other: as the port has it.
// Flow codes: 1 DTR/RTS on and XON/XOFF off; 2 DTR/RTS off and XON/XOFF on;
// anything else leaves every flag as the port has it.
// Only the low 8 bits of byteSize are used.
//
// The slot index 0..9, or -1 when no port could be opened. An empty port name
// takes a slot without a port (writes and reads on it give 0). A null name
// takes nothing and gives -1. The slot's line buffer starts empty.
int SerialOpen(SerialPortTable& table, SerialPortDriver& driver, const char* portName,
               int baudRate, int byteSize, int parityCode, int stopBitsCode, int flowCode);

// 1 when the slot was in use and is now free, else 0.
int SerialClose(SerialPortTable& table, SerialPortDriver& driver, int slot);

// One write of all `count` bytes: the number the port reports written (never
// more than `count`), or 0 on failure.
unsigned SerialWrite(SerialPortTable& table, SerialPortDriver& driver, int slot,
                     const void* bytes, unsigned count);

// Reads once what has arrived (at most 256 bytes) and takes out the first
// complete line: 1 with the line (without its terminator, NUL-terminated) in
// `destination`, else 0 with `destination` untouched. `capacity` is the size
// of `destination`; a line longer than capacity - 1 is cut there. A null
// destination or a capacity of 0 gives 0 and reads nothing.
int SerialReadLine(SerialPortTable& table, SerialPortDriver& driver, int slot,
                   char* destination, std::size_t capacity = kSerialLineBufferSize);

// Takes the first complete line out of the slot's buffer, after dropping every
// line feed: 1 with the line in `destination` (cut at capacity - 1), else 0.
// The buffered text counts as ending at its first NUL character.
int SerialExtractLine(SerialPortTable& table, int slot, char* destination,
                      std::size_t capacity = kSerialLineBufferSize);

// The program's one table, over the platform's serial ports.
SerialPortTable& ProgramSerialPortTable();

int SerialOpen(const char* portName, int baudRate, int byteSize, int parityCode,
               int stopBitsCode, int flowCode);
int SerialClose(int slot);
unsigned SerialWrite(int slot, const void* bytes, unsigned count);
int SerialReadLine(int slot, char* destination, std::size_t capacity = kSerialLineBufferSize);
