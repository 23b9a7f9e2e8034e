// The serial port table over real Windows ports, and the dialler's modem
// channel, against a pair of linked ports: the table opens one end, the test
// plays the modem on the other.
//
// The pair comes from the environment: CRIB_TEST_COM_PORT names the port the
// table opens ("COM5"), CRIB_TEST_COM_PEER the port linked to it ("COM6").
// Without them the tests are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "calling/dialler.h"
#include "calling/serial_port_table.h"

namespace {

const char* EnvOrNull(const char* name) {
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? v : nullptr;
}

#define REQUIRE_PORT_PAIR()                                                                  \
    do {                                                                                     \
        if (EnvOrNull("CRIB_TEST_COM_PORT") == nullptr ||                                    \
            EnvOrNull("CRIB_TEST_COM_PEER") == nullptr) {                                    \
            GTEST_SKIP() << "no linked serial ports: set CRIB_TEST_COM_PORT and "              \
                            "CRIB_TEST_COM_PEER (two COM names of one socat pty pair)";       \
        }                                                                                    \
    } while (0)

// The other end of the pair, opened with plain Win32 calls.
class Peer {
public:
    explicit Peer(const char* name) {
        std::string path = std::string("\\\\.\\") + name;
        handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) return;
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        ::GetCommState(handle_, &dcb);
        dcb.BaudRate = 19200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        ::SetCommState(handle_, &dcb);
        COMMTIMEOUTS t = {};
        t.ReadIntervalTimeout = MAXDWORD;
        ::SetCommTimeouts(handle_, &t);
    }
    ~Peer() {
        if (ok()) ::CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

    void Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            DWORD n = 0;
            ASSERT_TRUE(::WriteFile(handle_, bytes.data() + sent,
                                    static_cast<DWORD>(bytes.size() - sent), &n, nullptr));
            sent += n;
        }
    }

    // Everything that arrives until `expected` bytes are in, or the deadline.
    std::string Receive(std::size_t expected, DWORD deadlineMs = 10000) {
        std::string got;
        const DWORD start = ::GetTickCount();
        while (got.size() < expected && ::GetTickCount() - start < deadlineMs) {
            char buffer[512];
            DWORD n = 0;
            if (::ReadFile(handle_, buffer, sizeof buffer, &n, nullptr) && n > 0) {
                got.append(buffer, n);
            } else {
                ::Sleep(20);
            }
        }
        return got;
    }

    // Whatever arrives within `ms`.
    std::string Collect(DWORD ms) { return Receive(static_cast<std::size_t>(-1), ms); }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Reads lines from the slot until one comes or the deadline passes.
int ReadLineWithin(int slot, char* line, DWORD deadlineMs = 10000) {
    const DWORD start = ::GetTickCount();
    do {
        if (SerialReadLine(slot, line) == 1) return 1;
        ::Sleep(20);
    } while (::GetTickCount() - start < deadlineMs);
    return 0;
}

class SerialPortPair : public ::testing::Test {
protected:
    void TearDown() override {
        for (int i = 0; i < kSerialSlotCount; ++i) SerialClose(i);
    }
    const char* PortName() const { return EnvOrNull("CRIB_TEST_COM_PORT"); }
    const char* PeerName() const { return EnvOrNull("CRIB_TEST_COM_PEER"); }
};

TEST_F(SerialPortPair, OpensAt19200EightDataBitsNoParityOneStopBit) {
    REQUIRE_PORT_PAIR();
    const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    ASSERT_GE(slot, 0) << "could not open " << PortName();
    HANDLE h = reinterpret_cast<HANDLE>(ProgramSerialPortTable().slots[slot].handle);
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(::GetCommState(h, &dcb));
    EXPECT_EQ(19200u, dcb.BaudRate);
    EXPECT_EQ(8, dcb.ByteSize);
    EXPECT_EQ(NOPARITY, dcb.Parity);
    EXPECT_EQ(ONESTOPBIT, dcb.StopBits);
    COMMTIMEOUTS t = {};
    ASSERT_TRUE(::GetCommTimeouts(h, &t));
    EXPECT_EQ(MAXDWORD, t.ReadIntervalTimeout);

    // A read returns at once when nothing has arrived.
    char line[kSerialLineBufferSize];
    const DWORD before = ::GetTickCount();
    EXPECT_EQ(0, SerialReadLine(slot, line));
    EXPECT_LT(::GetTickCount() - before, 5000u) << "the read waited for data";

    EXPECT_EQ(1, SerialClose(slot));
    EXPECT_EQ(0, SerialClose(slot));
}

TEST_F(SerialPortPair, OtherLineSettingsAreWrittenToThePort) {
    REQUIRE_PORT_PAIR();
    // A pseudo-terminal keeps eight data bits without parity whatever it is
    // told, so only the baud rate and the stop bits can be seen here.
    const int slot = SerialOpen(PortName(), 9600, 7, 0, 2, 0);
    ASSERT_GE(slot, 0);
    HANDLE h = reinterpret_cast<HANDLE>(ProgramSerialPortTable().slots[slot].handle);
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(::GetCommState(h, &dcb));
    EXPECT_EQ(9600u, dcb.BaudRate);
    EXPECT_EQ(TWOSTOPBITS, dcb.StopBits);
    const SerialLineSettings& kept = ProgramSerialPortTable().slots[slot].lineSettings;
    EXPECT_EQ(9600u, kept.baudRate);
    EXPECT_EQ(7, kept.byteSize);
    EXPECT_EQ(kParityEven, kept.parity);
    EXPECT_EQ(kStopBitsTwo, kept.stopBits);
}

TEST_F(SerialPortPair, APortThatDoesNotExistTakesNoSlot) {
    REQUIRE_PORT_PAIR();
    EXPECT_EQ(-1, SerialOpen("COM97", 19200, 8, 2, 0, 0));
    const std::string longName(5000, 'X');
    EXPECT_EQ(-1, SerialOpen(longName.c_str(), 19200, 8, 2, 0, 0));
    for (int i = 0; i < kSerialSlotCount; ++i) EXPECT_EQ(0, ProgramSerialPortTable().slotInUse[i]);
}

TEST_F(SerialPortPair, ClosingReleasesThePort) {
    REQUIRE_PORT_PAIR();
    // (The port is opened with share mode 0; Wine does not enforce sharing on
    // devices, so a second open is not refused here as it is on Windows.)
    for (int round = 0; round < 3; ++round) {
        const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
        ASSERT_EQ(0, slot) << "round " << round;
        ASSERT_EQ(1, SerialClose(slot));
    }
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok());
    const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(3u, SerialWrite(slot, "AT\r", 3));
    EXPECT_EQ("AT\r", peer.Receive(3));
}

TEST_F(SerialPortPair, WrittenBytesArriveAtTheOtherEnd) {
    REQUIRE_PORT_PAIR();
    const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    ASSERT_GE(slot, 0);
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok()) << "could not open " << PeerName();
    EXPECT_EQ(5u, SerialWrite(slot, "ATE0\r", 5));
    EXPECT_EQ("ATE0\r", peer.Receive(5));
    const std::string binary("\x00\x01\xff\r\n", 5);
    EXPECT_EQ(5u, SerialWrite(slot, binary.data(), 5));
    EXPECT_EQ(binary, peer.Receive(5));
}

TEST_F(SerialPortPair, BytesFromTheOtherEndComeBackAsLines) {
    REQUIRE_PORT_PAIR();
    const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    ASSERT_GE(slot, 0);
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok());
    char line[kSerialLineBufferSize];
    peer.Send("OK\r\nRING\r\n");
    ASSERT_EQ(1, ReadLineWithin(slot, line));
    EXPECT_STREQ("OK", line);
    ASSERT_EQ(1, ReadLineWithin(slot, line));
    EXPECT_STREQ("RING", line);
    peer.Send("CON");
    ::Sleep(300);
    EXPECT_EQ(0, SerialReadLine(slot, line));
    peer.Send("NECT 19200\r");
    ASSERT_EQ(1, ReadLineWithin(slot, line));
    EXPECT_STREQ("CONNECT 19200", line);
}

TEST_F(SerialPortPair, AFloodWithoutTerminatorNeverOverruns) {
    REQUIRE_PORT_PAIR();
    const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    ASSERT_GE(slot, 0);
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok());
    std::string flood(9000, 'x');
    flood[100] = '\0';
    peer.Send(flood);
    peer.Send("\r\n");
    char line[kSerialLineBufferSize];
    const SerialSlot& s = ProgramSerialPortTable().slots[slot];
    const DWORD start = ::GetTickCount();
    while (s.bufferedCount < kSerialReadStopCount && ::GetTickCount() - start < 20000) {
        EXPECT_EQ(0, SerialReadLine(slot, line));
        ASSERT_LE(s.bufferedCount, 8191);
        ASSERT_EQ('\0', s.lineBuffer[s.bufferedCount]);
    }
    // Reading stops once 7936 are held; the last read may have brought up
    // to 255 more.
    EXPECT_GE(s.bufferedCount, kSerialReadStopCount);
    EXPECT_LE(s.bufferedCount, 8191);
    const int held = s.bufferedCount;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(0, SerialReadLine(slot, line));
    EXPECT_EQ(held, s.bufferedCount);

    // The port still writes, and a new open starts with an empty buffer.
    EXPECT_EQ(4u, SerialWrite(slot, "AT\r\n", 4));
    EXPECT_EQ("AT\r\n", peer.Receive(4));
    ASSERT_EQ(1, SerialClose(slot));
    const int again = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    ASSERT_GE(again, 0);
    EXPECT_EQ(0, ProgramSerialPortTable().slots[again].bufferedCount);
}

// The dialler's modem channel over the same pair.
class ModemChannel : public SerialPortPair {
protected:
    int port = 0;

    void SetUp() override {
        const char* name = PortName();
        if (name != nullptr && std::strncmp(name, "COM", 3) == 0) port = std::atoi(name + 3);
    }
    void TearDown() override {
        CloseModemPort();
        SerialPortPair::TearDown();
    }
    static DialOutcome DialNumber(const char* number, int channel = kConnectModem) {
        DialRequest request = {};
        request.channel = channel;
        std::strcpy(request.modemCommand, "ATD");
        std::strcpy(request.number, number);
        return Dial(request);
    }
};

TEST_F(ModemChannel, OpeningSendsEchoOffAndADialSendsTheCommandAfterTheReplies) {
    REQUIRE_PORT_PAIR();
    ASSERT_GT(port, 0) << "CRIB_TEST_COM_PORT must be COM<n>";
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok());
    EXPECT_TRUE(OpenModemPort(port, 19200));
    EXPECT_EQ("ATE0\r", peer.Receive(5));
    int inUse = 0;
    for (int i = 0; i < kSerialSlotCount; ++i) inUse += ProgramSerialPortTable().slotInUse[i];
    EXPECT_EQ(1, inUse);  // the modem holds one slot

    // Replies and garbage wait in the port; the dial drains and still goes out.
    peer.Send("OK\r\n");
    peer.Send(std::string("\0\0junk\n\n", 8));
    ::Sleep(300);
    EXPECT_EQ(DialOutcome::Dialled, DialNumber("555"));
    EXPECT_EQ("ATD 555\r", peer.Receive(8));

    EXPECT_EQ(DialOutcome::Dialled, DialNumber("0301-234 567"));
    EXPECT_EQ("ATD 0301-234 567\r", peer.Receive(17));

    CloseModemPort();
    EXPECT_EQ(DialOutcome::NoPort, DialNumber("555"));  // nothing written
    EXPECT_EQ("", peer.Collect(500));
    // The dialler let go of the port.
    const int slot = SerialOpen(PortName(), 19200, 8, 2, 0, 0);
    EXPECT_GE(slot, 0);
}

TEST_F(ModemChannel, OtherChannelsWriteNothingToTheModem) {
    REQUIRE_PORT_PAIR();
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(OpenModemPort(port, 19200));
    ASSERT_EQ("ATE0\r", peer.Receive(5));
    EXPECT_EQ(DialOutcome::NoTelephonyApp, DialNumber("555", kConnectTelephonyApp));  // none registered
    EXPECT_EQ(DialOutcome::NothingToDo, DialNumber("555", 7));
    EXPECT_EQ("", peer.Collect(500));
}

TEST_F(ModemChannel, ReopeningClosesTheOldPortFirst) {
    REQUIRE_PORT_PAIR();
    Peer peer(PeerName());
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(OpenModemPort(port, 19200));
    ASSERT_EQ("ATE0\r", peer.Receive(5));
    ASSERT_TRUE(OpenModemPort(port, 19200));  // as after the settings dialog's OK
    EXPECT_EQ("ATE0\r", peer.Receive(5));
    int inUse = 0;
    for (int i = 0; i < kSerialSlotCount; ++i) inUse += ProgramSerialPortTable().slotInUse[i];
    EXPECT_EQ(1, inUse);
    // A baud rate no modem takes: the old port is closed and none is open.
    EXPECT_FALSE(OpenModemPort(port, 12345));
    EXPECT_EQ(DialOutcome::NoPort, DialNumber("555"));
    EXPECT_EQ("", peer.Collect(500));
}

}  // namespace
