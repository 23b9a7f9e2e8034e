// Serial ports on a platform without them: every open fails.
#include "calling/serial_port_driver.h"

namespace {

class NoSerialPorts final : public SerialPortDriver {
public:
    bool Open(const char*, SerialHandle*) override { return false; }
    bool GetLineSettings(SerialHandle, SerialLineSettings*) override { return false; }
    bool SetLineSettings(SerialHandle, const SerialLineSettings&) override { return false; }
    bool GetTimeouts(SerialHandle, SerialTimeouts*) override { return false; }
    bool SetTimeouts(SerialHandle, const SerialTimeouts&) override { return false; }
    bool SetQueueSizes(SerialHandle, uint32_t, uint32_t) override { return false; }
    bool Flush(SerialHandle) override { return false; }
    bool Read(SerialHandle, void*, uint32_t, uint32_t* done) override {
        if (done) *done = 0;
        return false;
    }
    bool Write(SerialHandle, const void*, uint32_t, uint32_t* done) override {
        if (done) *done = 0;
        return false;
    }
    void Close(SerialHandle) override {}
};

}  // namespace

SerialPortDriver& PlatformSerialPortDriver() {
    static NoSerialPorts driver;
    return driver;
}
