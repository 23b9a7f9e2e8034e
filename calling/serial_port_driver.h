// The few serial-port operations the port table needs from the platform, as an
// interface so the table's logic holds no platform code. The Windows build
// provides the real one (serial_port_win32.cpp); tests bring scripted ports.
#pragma once

#include <cstddef>
#include <cstdint>

// An open port as the driver names it. 0 never names an open port: a slot
// taken without a port holds 0 and no driver call is made for it.
using SerialHandle = std::uintptr_t;

// Parity, stop-bit and line-control values, numbered as the Windows device
// control block numbers them.
enum SerialParity : uint8_t {
    kParityNone = 0,
    kParityOdd = 1,
    kParityEven = 2,
    kParityMark = 3,
    kParitySpace = 4,
};

enum SerialStopBits : uint8_t {
    kStopBitsOne = 0,
    kStopBitsOneAndHalf = 1,
    kStopBitsTwo = 2,
};

enum SerialLineControl : uint8_t {
    kLineDisable = 0,    // held off
    kLineEnable = 1,     // held on
    kLineHandshake = 2,
    kLineToggle = 3,     // RTS only
};

// Size of the opaque copy of the platform's own line-settings record.
constexpr std::size_t kSerialPlatformRecordSize = 64;

// The line settings of an open port: the fields the table changes, plus the
// platform's complete record as the port reported it, so that every field the
// table leaves alone is written back unchanged.
struct SerialLineSettings {
    uint32_t baudRate;
    uint8_t byteSize;
    uint8_t parity;      // SerialParity
    uint8_t stopBits;    // SerialStopBits
    uint8_t dtrControl;  // SerialLineControl
    uint8_t rtsControl;  // SerialLineControl
    bool outX;           // XON/XOFF on output
    bool inX;            // XON/XOFF on input
    alignas(8) unsigned char platformRecord[kSerialPlatformRecordSize];
};

// The port's time-outs in milliseconds, as the Windows time-out record has them.
struct SerialTimeouts {
    uint32_t readInterval;
    uint32_t readTotalMultiplier;
    uint32_t readTotalConstant;
    uint32_t writeTotalMultiplier;
    uint32_t writeTotalConstant;
};

constexpr uint32_t kSerialMaxTimeout = 0xFFFFFFFFu;

class SerialPortDriver {
public:
    virtual ~SerialPortDriver() = default;

    // Opens the named port exclusively for reading and writing. On success
    // *handle is a value other than 0.
    virtual bool Open(const char* portName, SerialHandle* handle) = 0;
    virtual bool GetLineSettings(SerialHandle handle, SerialLineSettings* settings) = 0;
    virtual bool SetLineSettings(SerialHandle handle, const SerialLineSettings& settings) = 0;
    virtual bool GetTimeouts(SerialHandle handle, SerialTimeouts* timeouts) = 0;
    virtual bool SetTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) = 0;
    virtual bool SetQueueSizes(SerialHandle handle, uint32_t inputBytes, uint32_t outputBytes) = 0;
    virtual bool Flush(SerialHandle handle) = 0;
    // Reads what has arrived, at most `capacity` bytes; *done is the count.
    virtual bool Read(SerialHandle handle, void* buffer, uint32_t capacity, uint32_t* done) = 0;
    // Writes `count` bytes in one call; *done is the count written.
    virtual bool Write(SerialHandle handle, const void* bytes, uint32_t count, uint32_t* done) = 0;
    virtual void Close(SerialHandle handle) = 0;
};

// The platform's serial ports: the Windows ports in the Windows build, none
// (every open fails) elsewhere.
SerialPortDriver& PlatformSerialPortDriver();
