// The Windows serial ports beneath the port table.
#include <windows.h>

#include <cstring>

#include "calling/serial_port_driver.h"

namespace {

static_assert(sizeof(DCB) <= kSerialPlatformRecordSize,
              "the line settings must hold the whole device control block");

HANDLE ToHandle(SerialHandle h) { return reinterpret_cast<HANDLE>(h); }

// Device names are opened through the device namespace ("\\.\COM12"), the one
// form that reaches ports numbered 10 and above; a name that already starts
// with a backslash is used as it is.
bool DevicePath(const char* portName, char* path, std::size_t size) {
    static const char kPrefix[] = "\\\\.\\";
    const std::size_t nameLength = std::strlen(portName);
    const bool prefixed = portName[0] == '\\';
    const std::size_t prefixLength = prefixed ? 0 : sizeof kPrefix - 1;
    if (prefixLength + nameLength + 1 > size) return false;
    std::memcpy(path, kPrefix, prefixLength);
    std::memcpy(path + prefixLength, portName, nameLength + 1);
    return true;
}

class Win32SerialPorts final : public SerialPortDriver {
public:
    bool Open(const char* portName, SerialHandle* handle) override {
        char path[MAX_PATH];
        if (portName == nullptr || handle == nullptr) return false;
        if (!DevicePath(portName, path, sizeof path)) return false;
        HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        if (h == nullptr) return false;  // never an open port
        *handle = reinterpret_cast<SerialHandle>(h);
        return true;
    }

    bool GetLineSettings(SerialHandle handle, SerialLineSettings* settings) override {
        DCB dcb;
        std::memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(ToHandle(handle), &dcb)) return false;
        std::memset(settings->platformRecord, 0, sizeof settings->platformRecord);
        std::memcpy(settings->platformRecord, &dcb, sizeof dcb);
        settings->baudRate = dcb.BaudRate;
        settings->byteSize = dcb.ByteSize;
        settings->parity = dcb.Parity;
        settings->stopBits = dcb.StopBits;
        settings->dtrControl = static_cast<uint8_t>(dcb.fDtrControl);
        settings->rtsControl = static_cast<uint8_t>(dcb.fRtsControl);
        settings->outX = dcb.fOutX != 0;
        settings->inX = dcb.fInX != 0;
        return true;
    }

    bool SetLineSettings(SerialHandle handle, const SerialLineSettings& settings) override {
        DCB dcb;
        std::memcpy(&dcb, settings.platformRecord, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = settings.parity;
        dcb.StopBits = settings.stopBits;
        dcb.fDtrControl = settings.dtrControl & 3u;
        dcb.fRtsControl = settings.rtsControl & 3u;
        dcb.fOutX = settings.outX ? 1 : 0;
        dcb.fInX = settings.inX ? 1 : 0;
        return ::SetCommState(ToHandle(handle), &dcb) != 0;
    }

    bool GetTimeouts(SerialHandle handle, SerialTimeouts* timeouts) override {
        COMMTIMEOUTS t;
        std::memset(&t, 0, sizeof t);
        if (!::GetCommTimeouts(ToHandle(handle), &t)) return false;
        timeouts->readInterval = t.ReadIntervalTimeout;
        timeouts->readTotalMultiplier = t.ReadTotalTimeoutMultiplier;
        timeouts->readTotalConstant = t.ReadTotalTimeoutConstant;
        timeouts->writeTotalMultiplier = t.WriteTotalTimeoutMultiplier;
        timeouts->writeTotalConstant = t.WriteTotalTimeoutConstant;
        return true;
    }

    bool SetTimeouts(SerialHandle handle, const SerialTimeouts& timeouts) override {
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = timeouts.readInterval;
        t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
        t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
        t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
        t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
        return ::SetCommTimeouts(ToHandle(handle), &t) != 0;
    }

    bool SetQueueSizes(SerialHandle handle, uint32_t inputBytes, uint32_t outputBytes) override {
        return ::SetupComm(ToHandle(handle), inputBytes, outputBytes) != 0;
    }

    bool Flush(SerialHandle handle) override {
        return ::FlushFileBuffers(ToHandle(handle)) != 0;
    }

    bool Read(SerialHandle handle, void* buffer, uint32_t capacity, uint32_t* done) override {
        DWORD n = 0;
        const BOOL ok = ::ReadFile(ToHandle(handle), buffer, capacity, &n, nullptr);
        *done = ok ? n : 0;
        return ok != 0;
    }

    bool Write(SerialHandle handle, const void* bytes, uint32_t count, uint32_t* done) override {
        DWORD n = 0;
        const BOOL ok = ::WriteFile(ToHandle(handle), bytes, count, &n, nullptr);
        *done = ok ? n : 0;
        return ok != 0;
    }

    void Close(SerialHandle handle) override { ::CloseHandle(ToHandle(handle)); }
};

}  // namespace

SerialPortDriver& PlatformSerialPortDriver() {
    static Win32SerialPorts driver;
    return driver;
}
