// The Windows port layer: its device control block, how opening fails, and the component on
// COM ports that the test run maps onto simulated devices (tests/wine/device_test.sh sets
// TVK9_TEST_PORT and TVK9_TEST_SPLIT_PORT; without them those cases are skipped).

#include "event_log.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "serial/windows_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace tvk9 {
namespace {

using testing::DispatchUntil;
using testing::EventLog;
using Bytes = std::vector<std::uint8_t>;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The flag word as the driver reads it: the 32 bits after DCBlength and BaudRate.
std::uint32_t FlagWord(const DCB& d) {
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(&d) + 2 * sizeof(DWORD), sizeof word);
    return word;
}

TEST(WindowsDcb, ReplacesTheWholeFlagWordAndKeepsWhatTheComponentDoesNotSet) {
    DCB read{};
    read.DCBlength = sizeof read;
    std::memset(reinterpret_cast<char*>(&read) + 2 * sizeof(DWORD), 0xFF, sizeof(DWORD));
    read.EofChar = 0x1A;
    read.EvtChar = 0x7E;

    LineSettings s; // the main window's line: 9600 8N1, DTR and RTS off, no flow control
    DCB d = DcbFor(read, BuildDcb(s));
    EXPECT_EQ(FlagWord(d), 0x0001u); // fBinary only; fAbortOnError and the rest cleared
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, NOPARITY);
    EXPECT_EQ(d.StopBits, ONESTOPBIT);
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(d.DCBlength, sizeof(DCB));
    EXPECT_EQ(d.EofChar, 0x1A);
    EXPECT_EQ(d.EvtChar, 0x7E);

    // Every setting at once, the word worked out by hand from the driver's documented bits.
    s.BaudRate = 115200;
    s.ParityCheck = s.Outx_CtsFlow = s.Outx_DsrFlow = s.DsrSensitivity = true;
    s.TxContinueOnXoff = s.Outx_XonXoffFlow = s.Inx_XonXoffFlow = true;
    s.ReplaceWhenParityError = s.IgnoreNullChar = true;
    s.DtrControl = TDtrControl::DtrHandshake;
    s.RtsControl = TRtsControl::RtsTransmissionAvailable;
    s.ByteSize = TByteSize::_7;
    s.Parity = TParity::Mark;
    s.StopBits = TStopBits::_1_5;
    s.XonLimit = 100;
    s.XoffLimit = 200;
    s.XonChar = 'Q';
    s.XoffChar = 'S';
    s.ReplacedChar = '?';
    d = DcbFor(read, BuildDcb(s));
    EXPECT_EQ(FlagWord(d), 0x3FEFu);
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(d.BaudRate, 115200u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.Parity, MARKPARITY);
    EXPECT_EQ(d.StopBits, ONE5STOPBITS);
    EXPECT_EQ(d.XonLim, 100);
    EXPECT_EQ(d.XoffLim, 200);
    EXPECT_EQ(d.XonChar, 'Q');
    EXPECT_EQ(d.XoffChar, 'S');
    EXPECT_EQ(d.ErrorChar, '?');
    EXPECT_EQ(d.EofChar, 0x1A);
}

TEST(WindowsOpen, EachFailureLeavesItsTextAndOnlyTheQueueSizesRaise) {
    QueueChannel channel;
    TComm comm(channel);

    comm.SetCommName("COM250"); // no such port
    comm.OpenPort();
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "Error opening serial port");
    comm.ClosePort();
    EXPECT_EQ(comm.PortOpenError(), "");

    // \\.\C:\... opens a disk file: a handle, but no character device.
    char folder[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, folder), 0u);
    const std::string file = std::string(folder) + "tvk9-not-a-port.txt";
    std::ofstream(file) << "not a port";
    comm.SetCommName(file);
    comm.OpenPort();
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "File handle is not a comm handle ");
    ::DeleteFileA(file.c_str());

    // The null device is a character device whose queues cannot be set up.
    comm.SetCommName("NUL");
    try {
        comm.OpenPort();
        ADD_FAILURE() << "no ECommsError";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Cannot setup comm buffer");
    }
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "Cannot setup comm buffer");
    EXPECT_EQ(channel.Size(), 0u);
}

// ---------------------------------------------------------------------------------------
// On a simulated device (tools/devsim, run natively by the test driver with the settings
// 16,5,20,11,50,60,70): it greets every open with AA BB 55 and answers a query with its
// report.

const Bytes Greeting{0xAA, 0xBB, 0x55};
const Bytes Query{0xAA, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xAB};
// BB 03, the seven values, and their sum from BB on: 0x1A6, of which the low byte.
const Bytes Report{0xBB, 0x03, 0x10, 0x05, 0x14, 0x0B, 0x32, 0x3C, 0x46, 0xA6};

class WindowsDevice : public ::testing::Test {
protected:
    void Open(const std::string& port, std::uint16_t input_len) {
        comm.SetCommName(port);
        comm.SetInBufferSize(input_len);
        comm.SetInputLen(input_len);
        comm.OpenPort();
        ASSERT_TRUE(comm.PortOpen()) << port << ": " << comm.PortOpenError();
    }
    bool Until(const std::function<bool()>& done) { return DispatchUntil(channel, comm, done); }
    std::vector<Bytes> Received() const {
        std::vector<Bytes> blocks;
        for (const auto& e : log.events)
            if (e.msg == MsgReceiveData)
                blocks.push_back(e.bytes);
        return blocks;
    }

    QueueChannel channel;
    TComm comm{channel};
    EventLog log{comm};
};

TEST_F(WindowsDevice, GreetingEndsOnSilenceAndAQueryGetsTheReportInOneEvent) {
    const std::string port = Environment("TVK9_TEST_PORT");
    if (port.empty())
        GTEST_SKIP() << "TVK9_TEST_PORT names no port: run by tests/wine/device_test.sh";
    Open(port, 10);
    // Three bytes of ten asked: the read ends 100 ms after the last of them.
    ASSERT_TRUE(Until([&] { return log.DataSizes().size() == 1; }));
    ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 1; }));
    EXPECT_TRUE(comm.SendData(Query));
    ASSERT_TRUE(Until([&] { return log.DataSizes().size() == 2; }));
    EXPECT_EQ(Received(), (std::vector<Bytes>{Greeting, Report}));
    EXPECT_TRUE(log.zero_after_data);
    ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 2; }));

    comm.ClosePort();
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgRequestHangup), 0);
    EXPECT_EQ(log.Count(MsgReceiveError), 0);
}

TEST_F(WindowsDevice, APauseLongerThanTheIntervalSplitsAFrame) {
    // This device sends each report as two halves 250 ms apart.
    const std::string port = Environment("TVK9_TEST_SPLIT_PORT");
    if (port.empty())
        GTEST_SKIP() << "TVK9_TEST_SPLIT_PORT names no port: run by tests/wine/device_test.sh";
    Open(port, 20);
    ASSERT_TRUE(Until([&] { return log.DataSizes().size() == 1; }));
    EXPECT_TRUE(comm.SendData(Query));
    ASSERT_TRUE(Until([&] { return log.DataSizes().size() == 3; }));
    EXPECT_EQ(Received(), (std::vector<Bytes>{Greeting, Bytes(Report.begin(), Report.begin() + 5),
                                              Bytes(Report.begin() + 5, Report.end())}));
}

} // namespace
} // namespace tvk9
