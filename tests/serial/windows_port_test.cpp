// The Windows port layer: its device control block, how opening fails, and the component on
// COM ports that tests/wine/device_test.sh maps onto simulated sensors.

#include "event_log.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "serial/windows_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

namespace tvk9 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The flag word as the driver reads it: the 32 bits after DCBlength and BaudRate.
std::uint32_t FlagWord(const DCB& d) {
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(&d) + 2 * sizeof(DWORD), sizeof word);
    return word;
}

TEST(WindowsDcb, ReplacesTheWholeFlagWordAndKeepsWhatTheComponentDoesNotSet) {
    DCB read;
    std::memset(&read, 0xFF, sizeof read);
    LineSettings s;
    const DCB d = DcbFor(read, BuildDcb(s));
    EXPECT_EQ(FlagWord(d), 0x0001u); // fBinary alone: fAbortOnError and the rest are cleared
    EXPECT_EQ(std::tuple(d.DCBlength, d.EofChar, d.EvtChar),
              std::tuple(read.DCBlength, '\xFF', '\xFF'));

    s.ParityCheck = s.Outx_CtsFlow = s.Outx_DsrFlow = s.DsrSensitivity = s.TxContinueOnXoff = true;
    s.Outx_XonXoffFlow = s.Inx_XonXoffFlow = s.ReplaceWhenParityError = s.IgnoreNullChar = true;
    s.DtrControl = TDtrControl::DtrHandshake;
    s.RtsControl = TRtsControl::RtsTransmissionAvailable;
    EXPECT_EQ(FlagWord(DcbFor(read, BuildDcb(s))), 0x3FEFu); // from the driver's documented bits
}

TEST(WindowsOpen, EachFailureLeavesItsTextAndOnlyTheQueueSizesRaise) {
    QueueChannel channel;
    TComm comm(channel);
    comm.SetCommName("COM250"); // no such port
    comm.OpenPort();
    EXPECT_EQ(comm.PortOpenError(), "Error opening serial port");

    comm.SetCommName("NUL"); // a character device whose queues cannot be set up
    EXPECT_THROW(comm.OpenPort(), ECommsError);
    EXPECT_EQ(comm.PortOpenError(), "Cannot setup comm buffer");
}

// Every code the layer tells apart, given by its number in Microsoft's list of system error
// codes rather than by the names the layer itself uses.
TEST(WindowsOpen, EachErrorCodeHasItsCause) {
    using K = PortProblem::Kind;
    const std::tuple<DWORD, K, const char*> refusals[] = {
        {2, K::Missing, "COM7 does not exist"},                // ERROR_FILE_NOT_FOUND
        {3, K::Missing, "COM7 does not exist"},                // ERROR_PATH_NOT_FOUND
        {5, K::InUse, "COM7 is in use by another program"},    // ERROR_ACCESS_DENIED
        {32, K::InUse, "COM7 is in use by another program"},   // ERROR_SHARING_VIOLATION
        {31, K::Missing, "COM7 has gone away (unplugged?)"},   // ERROR_GEN_FAILURE
        {55, K::Missing, "COM7 has gone away (unplugged?)"},   // ERROR_DEV_NOT_EXIST
        {1167, K::Missing, "COM7 has gone away (unplugged?)"}, // ERROR_DEVICE_NOT_CONNECTED
    };
    for (const auto& [code, kind, detail] : refusals) {
        const PortProblem p = OpenProblem("COM7", code);
        EXPECT_EQ(std::tuple(p.kind, p.detail), std::tuple(kind, detail)) << code;
    }
    // ERROR_INVALID_PARAMETER: the system's own words.
    const PortProblem other = OpenProblem("COM7", 87);
    EXPECT_EQ(other.kind, K::Other);
    EXPECT_GT(other.detail.size(), 6u);
    EXPECT_EQ(other.detail.rfind("COM7: ", 0), 0u);
    EXPECT_EQ(MeaningOf(997), Win32Meaning::Pending);    // ERROR_IO_PENDING
    EXPECT_EQ(MeaningOf(6), Win32Meaning::PortClosed);   // ERROR_INVALID_HANDLE
    EXPECT_EQ(MeaningOf(50), Win32Meaning::Unsupported); // ERROR_NOT_SUPPORTED
    EXPECT_EQ(MeaningOf(1167), Win32Meaning::Failure);
}

// The sensors (settings 16,5,20,11,50,60,70) greet every open with AA BB 55 and answer a
// query with their report: BB 03, the seven values, the low byte of their sum from BB on.
const Bytes Query{0xAA, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xAB};
const Bytes GreetingAndReport{0xAA, 0xBB, 0x55, 0xBB, 0x03, 0x10, 0x05,
                              0x14, 0x0B, 0x32, 0x3C, 0x46, 0xA6};

class WindowsDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("TVK9_TEST_PORT") == nullptr)
            GTEST_SKIP() << "no COM ports mapped onto sensors: run by tests/wine/device_test.sh";
    }
    // Opens the port, takes its greeting (ended by 100 ms of silence), sends a query.
    void Exchange(const char* port_variable, std::uint16_t input_len, std::size_t blocks) {
        comm.SetCommName(std::getenv(port_variable));
        comm.SetInBufferSize(input_len);
        comm.SetInputLen(input_len);
        comm.OpenPort();
        ASSERT_TRUE(comm.PortOpen()) << comm.PortOpenError();
        ASSERT_TRUE(Until([&] { return log.DataSizes().size() == 1; }));
        EXPECT_TRUE(comm.SendData(Query));
        ASSERT_TRUE(Until([&] { return log.DataSizes().size() == blocks; }));
        EXPECT_EQ(log.Data(), GreetingAndReport);
    }
    bool Until(const std::function<bool()>& done) {
        return testing::DispatchUntil(channel, comm, done);
    }

    QueueChannel channel;
    TComm comm{channel};
    testing::EventLog log{comm};
};

TEST_F(WindowsDevice, GreetingEndsOnSilenceAndAQueryGetsTheReportInOneEvent) {
    Exchange("TVK9_TEST_PORT", 10, 2);
    EXPECT_EQ(log.DataSizes(), (std::vector<std::size_t>{3, 10}));
    comm.ClosePort();
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgRequestHangup) + log.Count(MsgReceiveError), 0);
}

TEST_F(WindowsDevice, ClosingPutsBackTheLineSettingsThePortHad) {
    const std::string path = DevicePath(std::getenv("TVK9_TEST_PORT"));
    // Opened by another program, as Windows programs open a port, to read or set its state.
    const auto line = [&](DCB* set) {
        const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        DCB d{};
        d.DCBlength = sizeof d;
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(set ? ::SetCommState(h, set) : ::GetCommState(h, &d));
        ::CloseHandle(h);
        return d;
    };
    DCB other = line(nullptr);
    other.BaudRate = 19200; // Wine keeps no other setting on a pseudo-terminal
    line(&other);

    comm.SetCommName(std::getenv("TVK9_TEST_PORT")); // 9600 8N1 while it is open
    comm.OpenPort();
    ASSERT_TRUE(comm.PortOpen()) << comm.PortOpenError();
    comm.ClosePort();
    EXPECT_EQ(line(nullptr).BaudRate, 19200u);
    other.BaudRate = 9600; // back to the sensor's
    line(&other);
}

TEST_F(WindowsDevice, APauseLongerThanTheIntervalSplitsAFrame) {
    // This sensor sends each report in two halves 250 ms apart.
    Exchange("TVK9_TEST_SPLIT_PORT", 20, 3);
    EXPECT_EQ(log.DataSizes(), (std::vector<std::size_t>{3, 5, 5}));
}

} // namespace
} // namespace tvk9
