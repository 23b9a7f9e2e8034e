// The serial port table over a scripted port.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "calling/serial_port_table.h"

namespace {

// A port whose answers the test sets up, and which records what it was asked.
class ScriptedPorts : public SerialPortDriver {
public:
    // What the port reports before any change.
    SerialLineSettings reported;
    SerialTimeouts reportedTimeouts = {7, 11, 13, 17, 19};

    bool failOpen = false;
    bool failGetLine = false;
    bool failSetLine = false;
    bool failGetTimeouts = false;
    bool failSetTimeouts = false;
    bool failQueues = false;
    bool failFlush = false;
    bool failRead = false;
    bool failWrite = false;
    uint32_t writeLimit = 0xFFFFFFFFu;  // at most this many bytes written per call
    uint32_t writeClaimExtra = 0;       // reports this many more than written
    uint32_t readClaimExtra = 0;        // reports this many more than read

    int opens = 0;
    std::vector<std::string> openedNames;
    std::set<SerialHandle> openHandles;
    std::vector<SerialHandle> closed;
    bool closedUnknownHandle = false;
    std::vector<SerialLineSettings> setLine;
    std::vector<SerialTimeouts> setTimeouts;
    std::vector<std::pair<uint32_t, uint32_t>> queues;
    int flushes = 0;
    int reads = 0;
    std::vector<uint32_t> readCapacities;
    std::string written;
    int writes = 0;

    // Bytes that have arrived and not been read, per handle.
    std::map<SerialHandle, std::string> incoming;

    ScriptedPorts() {
        std::memset(&reported, 0, sizeof reported);
        reported.baudRate = 2400;
        reported.byteSize = 7;
        reported.parity = kParitySpace;
        reported.stopBits = kStopBitsOneAndHalf;
        reported.dtrControl = kLineHandshake;
        reported.rtsControl = kLineToggle;
        reported.outX = true;
        reported.inX = false;
        for (std::size_t i = 0; i < sizeof reported.platformRecord; ++i) {
            reported.platformRecord[i] = static_cast<unsigned char>(0xA0 + i);
        }
    }

    SerialHandle lastHandle() const { return nextHandle_ - 1; }

    void Arrive(SerialHandle h, const std::string& bytes) { incoming[h] += bytes; }

    bool Open(const char* portName, SerialHandle* handle) override {
        ++opens;
        openedNames.push_back(portName);
        if (failOpen) return false;
        *handle = nextHandle_++;
        openHandles.insert(*handle);
        return true;
    }
    bool GetLineSettings(SerialHandle h, SerialLineSettings* s) override {
        EXPECT_TRUE(openHandles.count(h));
        if (failGetLine) return false;
        *s = reported;
        return true;
    }
    bool SetLineSettings(SerialHandle h, const SerialLineSettings& s) override {
        EXPECT_TRUE(openHandles.count(h));
        setLine.push_back(s);
        return !failSetLine;
    }
    bool GetTimeouts(SerialHandle h, SerialTimeouts* t) override {
        if (failGetTimeouts) return false;
        *t = reportedTimeouts;
        return true;
    }
    bool SetTimeouts(SerialHandle h, const SerialTimeouts& t) override {
        setTimeouts.push_back(t);
        return !failSetTimeouts;
    }
    bool SetQueueSizes(SerialHandle h, uint32_t in, uint32_t out) override {
        queues.emplace_back(in, out);
        return !failQueues;
    }
    bool Flush(SerialHandle h) override {
        ++flushes;
        return !failFlush;
    }
    bool Read(SerialHandle h, void* buffer, uint32_t capacity, uint32_t* done) override {
        EXPECT_TRUE(openHandles.count(h));
        ++reads;
        readCapacities.push_back(capacity);
        if (failRead) {
            *done = 0;
            return false;
        }
        std::string& in = incoming[h];
        const uint32_t n = static_cast<uint32_t>(std::min<std::size_t>(capacity, in.size()));
        std::memcpy(buffer, in.data(), n);
        in.erase(0, n);
        *done = n + readClaimExtra;
        return true;
    }
    bool Write(SerialHandle h, const void* bytes, uint32_t count, uint32_t* done) override {
        EXPECT_TRUE(openHandles.count(h));
        ++writes;
        if (failWrite) {
            *done = 0;
            return false;
        }
        const uint32_t n = std::min(count, writeLimit);
        written.append(static_cast<const char*>(bytes), n);
        *done = n + writeClaimExtra;
        return true;
    }
    void Close(SerialHandle h) override {
        if (!openHandles.erase(h)) closedUnknownHandle = true;
        closed.push_back(h);
    }

private:
    SerialHandle nextHandle_ = 0x100;
};

class SerialTable : public ::testing::Test {
protected:
    std::unique_ptr<SerialPortTable> table{new SerialPortTable()};  // value-initialised: all free
    ScriptedPorts port;
    char line[kSerialLineBufferSize];

    int Open(const char* name = "COM3", int baud = 19200, int byteSize = 8, int parity = 2,
             int stop = 0, int flow = 0) {
        return SerialOpen(*table, port, name, baud, byteSize, parity, stop, flow);
    }
    int ReadLine(int slot) { return SerialReadLine(*table, port, slot, line); }
    std::string Buffered(int slot) const {
        const SerialSlot& s = table->slots[slot];
        return std::string(s.lineBuffer, s.lineBuffer + s.bufferedCount);
    }
};

// --- Opening ---------------------------------------------------------------

TEST_F(SerialTable, OpenTakesTheFirstFreeSlotAndConfiguresThePort) {
    ASSERT_EQ(0, Open("COM3", 19200, 8, 2, 0, 0));
    EXPECT_EQ(1, table->slotInUse[0]);
    EXPECT_EQ(0, table->slotInUse[1]);
    ASSERT_EQ(1u, port.openedNames.size());
    EXPECT_EQ("COM3", port.openedNames[0]);
    EXPECT_EQ(port.lastHandle(), table->slots[0].handle);
    EXPECT_EQ('\r', table->slots[0].terminator);

    ASSERT_EQ(1u, port.setLine.size());
    const SerialLineSettings& s = port.setLine[0];
    EXPECT_EQ(19200u, s.baudRate);
    EXPECT_EQ(8, s.byteSize);
    EXPECT_EQ(kParityNone, s.parity);
    EXPECT_EQ(kStopBitsOne, s.stopBits);
    // Flow code 0: every flag as the port reported it.
    EXPECT_EQ(kLineHandshake, s.dtrControl);
    EXPECT_EQ(kLineToggle, s.rtsControl);
    EXPECT_TRUE(s.outX);
    EXPECT_FALSE(s.inX);
    EXPECT_EQ(0, std::memcmp(s.platformRecord, port.reported.platformRecord,
                             sizeof s.platformRecord));
    // The slot keeps what was written.
    EXPECT_EQ(0, std::memcmp(&table->slots[0].lineSettings, &s, sizeof s));

    ASSERT_EQ(1u, port.setTimeouts.size());
    EXPECT_EQ(0xFFFFFFFFu, port.setTimeouts[0].readInterval);
    EXPECT_EQ(11u, port.setTimeouts[0].readTotalMultiplier);
    EXPECT_EQ(13u, port.setTimeouts[0].readTotalConstant);
    EXPECT_EQ(17u, port.setTimeouts[0].writeTotalMultiplier);
    EXPECT_EQ(19u, port.setTimeouts[0].writeTotalConstant);
    ASSERT_EQ(1u, port.queues.size());
    EXPECT_EQ(16384u, port.queues[0].first);
    EXPECT_EQ(16384u, port.queues[0].second);
    EXPECT_EQ(1, port.flushes);

    EXPECT_EQ(1, Open("COM4"));
    EXPECT_EQ("COM4", port.openedNames[1]);
}

TEST_F(SerialTable, ParityCodes) {
    const struct { int code; uint8_t parity; } cases[] = {
        {0, kParityEven}, {1, kParityMark}, {2, kParityNone}, {3, kParityOdd},
        {4, kParitySpace}, {-1, kParitySpace}, {1000, kParitySpace}};
    for (const auto& c : cases) {
        port.setLine.clear();
        const int slot = Open("COM1", 9600, 8, c.code, 0, 0);
        ASSERT_GE(slot, 0);
        ASSERT_EQ(1u, port.setLine.size());
        EXPECT_EQ(c.parity, port.setLine[0].parity) << "parity code " << c.code;
        EXPECT_EQ(1, SerialClose(*table, port, slot));
    }
}

TEST_F(SerialTable, StopBitCodes) {
    for (uint8_t own : {kStopBitsOne, kStopBitsTwo}) {
        port.reported.stopBits = own;
        const struct { int code; uint8_t stop; } cases[] = {
            {0, kStopBitsOne}, {1, kStopBitsOneAndHalf}, {2, kStopBitsTwo},
            {3, own}, {-7, own}, {256, own}};
        for (const auto& c : cases) {
            port.setLine.clear();
            const int slot = Open("COM1", 9600, 8, 2, c.code, 0);
            ASSERT_GE(slot, 0);
            ASSERT_EQ(1u, port.setLine.size());
            EXPECT_EQ(c.stop, port.setLine[0].stopBits) << "stop code " << c.code;
            EXPECT_EQ(1, SerialClose(*table, port, slot));
        }
    }
}

TEST_F(SerialTable, UnknownCodesKeepThePortsOwnSettings) {
    ASSERT_EQ(0, Open("COM2", 4800, 8, 4, 3, 5));
    ASSERT_EQ(1u, port.setLine.size());
    SerialLineSettings expected = port.reported;
    expected.baudRate = 4800;
    expected.byteSize = 8;
    EXPECT_EQ(0, std::memcmp(&expected, &port.setLine[0], sizeof expected));
}

TEST_F(SerialTable, FlowCodeOneHoldsTheLinesOnAndSwitchesXonXoffOff) {
    port.reported.dtrControl = kLineDisable;
    port.reported.rtsControl = kLineHandshake;
    port.reported.outX = true;
    port.reported.inX = true;
    ASSERT_EQ(0, Open("COM1", 9600, 8, 2, 0, 1));
    const SerialLineSettings& s = port.setLine[0];
    EXPECT_EQ(kLineEnable, s.dtrControl);
    EXPECT_EQ(kLineEnable, s.rtsControl);
    EXPECT_FALSE(s.outX);
    EXPECT_FALSE(s.inX);
    EXPECT_EQ(0, std::memcmp(s.platformRecord, port.reported.platformRecord,
                             sizeof s.platformRecord));
}

TEST_F(SerialTable, FlowCodeTwoHoldsTheLinesOffAndSwitchesXonXoffOn) {
    port.reported.dtrControl = kLineEnable;
    port.reported.rtsControl = kLineToggle;
    port.reported.outX = false;
    port.reported.inX = false;
    ASSERT_EQ(0, Open("COM1", 9600, 8, 2, 0, 2));
    const SerialLineSettings& s = port.setLine[0];
    EXPECT_EQ(kLineDisable, s.dtrControl);
    EXPECT_EQ(kLineDisable, s.rtsControl);
    EXPECT_TRUE(s.outX);
    EXPECT_TRUE(s.inX);
    EXPECT_EQ(0, std::memcmp(s.platformRecord, port.reported.platformRecord,
                             sizeof s.platformRecord));
}

TEST_F(SerialTable, OnlyTheLowEightBitsOfTheByteSizeAreUsed) {
    ASSERT_EQ(0, Open("COM1", 115200, 0x107, 2, 0, 0));
    EXPECT_EQ(7, port.setLine[0].byteSize);
    EXPECT_EQ(115200u, port.setLine[0].baudRate);
    ASSERT_EQ(1, Open("COM1", 110, -1, 2, 0, 0));
    EXPECT_EQ(0xFF, port.setLine[1].byteSize);
    EXPECT_EQ(110u, port.setLine[1].baudRate);
}

TEST_F(SerialTable, TimeoutQueueAndFlushFailuresAreIgnored) {
    port.failGetTimeouts = true;
    port.failSetTimeouts = true;
    port.failQueues = true;
    port.failFlush = true;
    ASSERT_EQ(0, Open());
    EXPECT_EQ(1, table->slotInUse[0]);
    // Unknown time-outs: reads still return at once.
    ASSERT_EQ(1u, port.setTimeouts.size());
    EXPECT_EQ(0xFFFFFFFFu, port.setTimeouts[0].readInterval);
    EXPECT_EQ(0u, port.setTimeouts[0].readTotalMultiplier);
    EXPECT_EQ(0u, port.setTimeouts[0].readTotalConstant);
    EXPECT_EQ(1u, port.queues.size());
    EXPECT_EQ(1, port.flushes);
}

TEST_F(SerialTable, TheEleventhOpenGivesMinusOne) {
    for (int i = 0; i < 10; ++i) ASSERT_EQ(i, Open(i % 2 ? "" : "COM1"));
    const int opensBefore = port.opens;
    EXPECT_EQ(-1, Open("COM1"));
    EXPECT_EQ(-1, Open(""));
    EXPECT_EQ(opensBefore, port.opens);  // nothing opened
}

TEST_F(SerialTable, AFailingPortIsTriedOncePerFreeSlotAndLeavesNothingOpen) {
    ASSERT_EQ(0, Open());
    ASSERT_EQ(1, Open());
    ASSERT_EQ(2, Open());
    ASSERT_EQ(1, SerialClose(*table, port, 1));
    const int opensBefore = port.opens;
    const std::size_t openBefore = port.openHandles.size();

    port.failOpen = true;
    EXPECT_EQ(-1, Open("COM9"));
    EXPECT_EQ(opensBefore + 8, port.opens);  // slots 1 and 3..9
    for (int i = 3; i < 10; ++i) EXPECT_EQ(0, table->slotInUse[i]);
    EXPECT_EQ(0, table->slotInUse[1]);

    port.failOpen = false;
    port.failGetLine = true;
    EXPECT_EQ(-1, Open("COM9"));
    EXPECT_EQ(opensBefore + 16, port.opens);
    EXPECT_EQ(openBefore, port.openHandles.size());

    port.failGetLine = false;
    port.failSetLine = true;
    EXPECT_EQ(-1, Open("COM9"));
    EXPECT_EQ(opensBefore + 24, port.opens);
    EXPECT_EQ(openBefore, port.openHandles.size());
    EXPECT_TRUE(port.setTimeouts.size() == 3u);  // only the three good opens got this far
    EXPECT_FALSE(port.closedUnknownHandle);
    EXPECT_EQ(0, table->slotInUse[1]);
    EXPECT_EQ(1, table->slotInUse[0]);
    EXPECT_EQ(1, table->slotInUse[2]);
}

TEST_F(SerialTable, ANullPortNameTakesNothing) {
    EXPECT_EQ(-1, Open(nullptr));
    EXPECT_EQ(0, port.opens);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(0, table->slotInUse[i]);
}

TEST_F(SerialTable, AnOverlongPortNameIsPassedOnWhole) {
    const std::string name(100000, 'C');
    port.failOpen = true;
    EXPECT_EQ(-1, Open(name.c_str()));
    ASSERT_EQ(10u, port.openedNames.size());
    EXPECT_EQ(name, port.openedNames[0]);
}

// --- Closing ---------------------------------------------------------------

TEST_F(SerialTable, CloseOfBadIndicesFreeSlotsAndTwice) {
    EXPECT_EQ(0, SerialClose(*table, port, -1));
    EXPECT_EQ(0, SerialClose(*table, port, 10));
    EXPECT_EQ(0, SerialClose(*table, port, 0));  // free
    EXPECT_EQ(0, SerialClose(*table, port, -2147483647 - 1));
    EXPECT_EQ(0, SerialClose(*table, port, 2147483647));
    ASSERT_EQ(0, Open());
    const SerialHandle h = port.lastHandle();
    EXPECT_EQ(1, SerialClose(*table, port, 0));
    EXPECT_EQ(0, SerialClose(*table, port, 0));
    ASSERT_EQ(1u, port.closed.size());
    EXPECT_EQ(h, port.closed[0]);
    EXPECT_TRUE(port.openHandles.empty());
    EXPECT_EQ(0, table->slotInUse[0]);
    // The freed slot is taken again.
    EXPECT_EQ(0, Open());
}

TEST_F(SerialTable, ASlotWithoutAPort) {
    ASSERT_EQ(0, Open(""));
    EXPECT_EQ(1, table->slotInUse[0]);
    EXPECT_EQ(0u, table->slots[0].handle);
    EXPECT_EQ('\r', table->slots[0].terminator);
    EXPECT_EQ(0, port.opens);
    EXPECT_EQ(0u, SerialWrite(*table, port, 0, "ATE0\r", 5));
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ(0, port.reads);
    EXPECT_EQ(0, port.writes);
    EXPECT_EQ(1, SerialClose(*table, port, 0));
    EXPECT_TRUE(port.closed.empty());  // nothing handed to the platform
    EXPECT_EQ(0, SerialClose(*table, port, 0));
}

// --- Writing ---------------------------------------------------------------

TEST_F(SerialTable, WriteSendsAllBytesInOneCall) {
    ASSERT_EQ(0, Open());
    EXPECT_EQ(8u, SerialWrite(*table, port, 0, "ATD 555\r", 8));
    EXPECT_EQ("ATD 555\r", port.written);
    EXPECT_EQ(1, port.writes);
}

TEST_F(SerialTable, WriteReportsWhatThePortWrote) {
    ASSERT_EQ(0, Open());
    port.writeLimit = 3;
    EXPECT_EQ(3u, SerialWrite(*table, port, 0, "ATE0\r", 5));
    port.writeLimit = 0xFFFFFFFFu;
    port.writeClaimExtra = 1000;  // a port that claims more than it was given
    EXPECT_EQ(5u, SerialWrite(*table, port, 0, "ATE0\r", 5));
    port.writeClaimExtra = 0;
    port.failWrite = true;
    EXPECT_EQ(0u, SerialWrite(*table, port, 0, "ATE0\r", 5));
    EXPECT_EQ(1, table->slotInUse[0]);
}

TEST_F(SerialTable, WriteToBadSlotsOrWithoutBytesGivesZero) {
    EXPECT_EQ(0u, SerialWrite(*table, port, -1, "A", 1));
    EXPECT_EQ(0u, SerialWrite(*table, port, 10, "A", 1));
    EXPECT_EQ(0u, SerialWrite(*table, port, 0, "A", 1));  // free
    ASSERT_EQ(0, Open());
    EXPECT_EQ(0u, SerialWrite(*table, port, 0, nullptr, 5));
    EXPECT_EQ(0, port.writes);
    EXPECT_EQ(0u, SerialWrite(*table, port, 0, "", 0));
}

// --- Reading lines -----------------------------------------------------------

TEST_F(SerialTable, OkCrLfGivesOneLineAndLeavesTheBufferEmpty) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "OK\r\n");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("OK", line);
    EXPECT_EQ(0, table->slots[0].bufferedCount);
    EXPECT_EQ('\0', table->slots[0].lineBuffer[0]);
    EXPECT_EQ(kSerialReadChunk, port.readCapacities.at(0));
}

TEST_F(SerialTable, EmptyLineFirstThenTheNextLineWithoutNewBytes) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "\r\nOK\r\n");
    std::memset(line, 'z', sizeof line);
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("", line);
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("OK", line);
    EXPECT_EQ(2, port.reads);
    EXPECT_EQ(0, ReadLine(0));
}

TEST_F(SerialTable, ALineArrivingInPieces) {
    ASSERT_EQ(0, Open());
    const SerialHandle h = port.lastHandle();
    port.Arrive(h, "O");
    std::memset(line, 'z', sizeof line);
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ('z', line[0]);  // untouched
    EXPECT_EQ("O", Buffered(0));
    port.Arrive(h, "K\r");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("OK", line);
}

TEST_F(SerialTable, OneLinePerCallTheRestKept) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "X\rY\rZ");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("X", line);
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("Y", line);
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ("Z", Buffered(0));
}

TEST_F(SerialTable, LineFeedOnlyInputGivesNoLine) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "OK\nOK\n");
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ("OKOK", Buffered(0));
    port.Arrive(port.lastHandle(), "\n\r");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("OKOK", line);
}

TEST_F(SerialTable, AFullBufferWithoutTerminatorStopsReading) {
    ASSERT_EQ(0, Open());
    const SerialHandle h = port.lastHandle();
    port.Arrive(h, std::string(9000, 'x'));
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(0, ReadLine(0));
        ASSERT_LE(table->slots[0].bufferedCount, 7936);
    }
    EXPECT_EQ(7936, table->slots[0].bufferedCount);
    EXPECT_EQ(31, port.reads);
    const int readsBefore = port.reads;
    port.Arrive(h, "\r");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ(readsBefore, port.reads);  // nothing read any more
    EXPECT_EQ(7936, table->slots[0].bufferedCount);
    EXPECT_EQ('\0', table->slots[0].lineBuffer[7936]);
}

TEST_F(SerialTable, ALongLineJustBelowTheStopIsReturnedWhole) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), std::string(7935, 'a'));
    for (int i = 0; i < 31; ++i) ASSERT_EQ(0, ReadLine(0));
    EXPECT_EQ(7935, table->slots[0].bufferedCount);
    port.Arrive(port.lastHandle(), "\rtail");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_EQ(std::string(7935, 'a'), std::string(line));
    EXPECT_EQ("tail", Buffered(0));
}

TEST_F(SerialTable, ANulByteEndsTheSearch) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), std::string("AB\0CD\rEF\r", 9));
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ(9, table->slots[0].bufferedCount);  // kept, as received
}

TEST_F(SerialTable, TheRestIsKeptUpToItsFirstNul) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), std::string("OK\rNE\0XT\r", 9));
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("OK", line);
    EXPECT_EQ("NE", Buffered(0));
    EXPECT_EQ('\0', table->slots[0].lineBuffer[2]);
    port.Arrive(port.lastHandle(), "W\r");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("NEW", line);
}

TEST_F(SerialTable, GarbageNeverOverrunsTheBuffer) {
    ASSERT_EQ(0, Open());
    const SerialHandle h = port.lastHandle();
    std::string garbage;
    for (int i = 0; i < 20000; ++i) garbage += static_cast<char>((i * 37) % 256);
    port.Arrive(h, garbage);
    for (int i = 0; i < 200; ++i) {
        ReadLine(0);
        ASSERT_GE(table->slots[0].bufferedCount, 0);
        ASSERT_LE(table->slots[0].bufferedCount, 8191);
        ASSERT_EQ('\0', table->slots[0].lineBuffer[table->slots[0].bufferedCount]);
        ASSERT_LT(std::strlen(line), kSerialLineBufferSize);
    }
}

TEST_F(SerialTable, APortClaimingMoreThanItReadIsNotBelieved) {
    ASSERT_EQ(0, Open());
    port.readClaimExtra = 100000;
    port.Arrive(port.lastHandle(), "OK\r");
    ReadLine(0);
    EXPECT_LE(table->slots[0].bufferedCount, 8191);
    for (int i = 0; i < 40; ++i) ReadLine(0);
    EXPECT_LE(table->slots[0].bufferedCount, 8191);
    EXPECT_EQ('\0', table->slots[0].lineBuffer[table->slots[0].bufferedCount]);
}

TEST_F(SerialTable, AFailedReadChangesNothing) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "AB");
    ASSERT_EQ(0, ReadLine(0));
    port.Arrive(port.lastHandle(), "\r");
    port.failRead = true;
    std::memset(line, 'z', sizeof line);
    EXPECT_EQ(0, ReadLine(0));
    EXPECT_EQ('z', line[0]);
    EXPECT_EQ("AB", Buffered(0));
    port.failRead = false;
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("AB", line);
}

TEST_F(SerialTable, ReadFromBadSlotsOrIntoNothingGivesZeroAndReadsNothing) {
    EXPECT_EQ(0, ReadLine(-1));
    EXPECT_EQ(0, ReadLine(10));
    EXPECT_EQ(0, ReadLine(3));  // free
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "OK\r");
    EXPECT_EQ(0, SerialReadLine(*table, port, 0, nullptr));
    EXPECT_EQ(0, SerialReadLine(*table, port, 0, line, 0));
    EXPECT_EQ(0, port.reads);
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("OK", line);
}

TEST_F(SerialTable, ASmallDestinationGetsTheLineCut) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "HELLO\rWORLD\r");
    char small[4] = {'z', 'z', 'z', 'z'};
    ASSERT_EQ(1, SerialReadLine(*table, port, 0, small, sizeof small));
    EXPECT_STREQ("HEL", small);
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("WORLD", line);
}

TEST_F(SerialTable, ExtractLineRefusesBadIndices) {
    EXPECT_EQ(0, SerialExtractLine(*table, -1, line));
    EXPECT_EQ(0, SerialExtractLine(*table, 10, line));
    EXPECT_EQ(0, SerialExtractLine(*table, 0, line));  // empty buffer
    EXPECT_EQ(0, SerialExtractLine(*table, 0, nullptr));
}

TEST_F(SerialTable, ExtractLineWorksInPlace) {
    SerialSlot& s = table->slots[4];
    const char text[] = "A\nB\r\nC\rD";
    std::memcpy(s.lineBuffer, text, sizeof text);
    s.bufferedCount = static_cast<int>(sizeof text - 1);
    s.terminator = '\r';
    ASSERT_EQ(1, SerialExtractLine(*table, 4, line));
    EXPECT_STREQ("AB", line);
    EXPECT_EQ("C\rD", Buffered(4));
    ASSERT_EQ(1, SerialExtractLine(*table, 4, line));
    EXPECT_STREQ("C", line);
    EXPECT_EQ(0, SerialExtractLine(*table, 4, line));
    EXPECT_EQ("D", Buffered(4));
}

TEST_F(SerialTable, ADamagedCountDoesNotReachPastTheBuffer) {
    table->slots[0].bufferedCount = 100000;
    EXPECT_EQ(0, SerialExtractLine(*table, 0, line));
    EXPECT_EQ(0, table->slots[0].bufferedCount);
    table->slots[0].bufferedCount = -5;
    EXPECT_EQ(0, SerialExtractLine(*table, 0, line));
    EXPECT_EQ(0, table->slots[0].bufferedCount);
}

TEST_F(SerialTable, OpeningASlotStartsWithAnEmptyBuffer) {
    ASSERT_EQ(0, Open());
    port.Arrive(port.lastHandle(), "OLD");
    ASSERT_EQ(0, ReadLine(0));
    ASSERT_EQ(1, SerialClose(*table, port, 0));
    EXPECT_EQ("OLD", Buffered(0));  // close leaves it
    ASSERT_EQ(0, Open());
    EXPECT_EQ(0, table->slots[0].bufferedCount);
    port.Arrive(port.lastHandle(), "NEW\r");
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("NEW", line);
}

TEST_F(SerialTable, SlotsAreIndependent) {
    ASSERT_EQ(0, Open("COM1"));
    const SerialHandle h0 = port.lastHandle();
    ASSERT_EQ(1, Open("COM2"));
    const SerialHandle h1 = port.lastHandle();
    port.Arrive(h0, "ONE\r");
    port.Arrive(h1, "TWO\r");
    ASSERT_EQ(1, ReadLine(1));
    EXPECT_STREQ("TWO", line);
    ASSERT_EQ(1, ReadLine(0));
    EXPECT_STREQ("ONE", line);
}

// --- The program's table ------------------------------------------------------

TEST(ProgramSerialTable, WithoutPlatformPortsNothingOpensButEmptyNamesTakeSlots) {
    EXPECT_EQ(-1, SerialOpen("COM1", 19200, 8, 2, 0, 0));
    const int slot = SerialOpen("", 19200, 8, 2, 0, 0);
    ASSERT_GE(slot, 0);
    char out[kSerialLineBufferSize];
    EXPECT_EQ(0, SerialReadLine(slot, out));
    EXPECT_EQ(0u, SerialWrite(slot, "x", 1));
    EXPECT_EQ(1, SerialClose(slot));
    EXPECT_EQ(0, SerialClose(slot));
    EXPECT_EQ(0, SerialClose(-1));
}

}  // namespace
