#include "event_log.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"

#include "pty_pair.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace tvk9 {
namespace {

using testing::EventLog;

TEST(CommProperties, InitialValues) {
    QueueChannel channel;
    TComm comm(channel);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.CommName(), "COM1");
    EXPECT_EQ(comm.CommPort(), 1);
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_EQ(comm.InputLen(), 1);
    EXPECT_EQ(comm.InBufferSize(), 2048);
    EXPECT_EQ(comm.ReadIntervalTimeout(), 100u);
    EXPECT_EQ(comm.ReadTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(comm.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(comm.WriteTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(comm.WriteTotalTimeoutConstant(), 0u);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsDisable);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.StopBits(), TStopBits::_1);
    EXPECT_EQ(comm.XonLimit(), 500);
    EXPECT_EQ(comm.XoffLimit(), 500);
    EXPECT_EQ(comm.XonChar(), 0x11);
    EXPECT_EQ(comm.XoffChar(), 0x13);
    EXPECT_EQ(comm.ReplacedChar(), 0);
    EXPECT_EQ(comm.PortOpenError(), "");
    EXPECT_EQ(comm.Output(), "");
    EXPECT_EQ(static_cast<int>(TRtsControl::RtsTransmissionAvailable), 3);
    EXPECT_EQ(static_cast<int>(TParity::Space), 4);
    EXPECT_EQ(static_cast<int>(TStopBits::_2), 2);
}

TEST(CommProperties, CommPortNamesTheComPortButNotTheOtherWayRound) {
    QueueChannel channel;
    TComm comm(channel);
    comm.SetCommPort(3);
    EXPECT_EQ(comm.CommPort(), 3);
    EXPECT_EQ(comm.CommName(), "COM3");
    comm.SetCommName("ttyUSB0");
    comm.SetCommPort(3); // the current value: nothing happens, CommName stays
    EXPECT_EQ(comm.CommName(), "ttyUSB0");
    comm.SetCommPort(0);
    EXPECT_EQ(comm.CommPort(), 3);
    EXPECT_EQ(comm.CommName(), "ttyUSB0");
    comm.SetCommPort(255);
    EXPECT_EQ(comm.CommName(), "COM255");
}

TEST(CommProperties, InputLenAndInBufferSizeRules) {
    QueueChannel channel;
    TComm comm(channel);
    comm.SetInputLen(0);
    EXPECT_EQ(comm.InputLen(), 2048);
    comm.SetInputLen(2049);
    EXPECT_EQ(comm.InputLen(), 2048);
    comm.SetInputLen(10);
    EXPECT_EQ(comm.InputLen(), 10);
    comm.SetInBufferSize(0);
    EXPECT_EQ(comm.InBufferSize(), 1);
    // Lowering the buffer leaves InputLen alone.
    EXPECT_EQ(comm.InputLen(), 10);
    comm.SetInputLen(2);
    EXPECT_EQ(comm.InputLen(), 10);
    comm.SetInBufferSize(20);
    comm.SetInputLen(20);
    EXPECT_EQ(comm.InputLen(), 20);
    comm.SetInputLen(0);
    EXPECT_EQ(comm.InputLen(), 20);
}

TEST(CommProperties, SendDataRefusesWhatCannotBeQueued) {
    QueueChannel channel;
    TComm comm(channel);
    const std::uint8_t frame[10] = {};
    EXPECT_FALSE(comm.SendData(frame)); // closed
    comm.SetOutput("text");             // closed: stored, nothing sent, nothing raised
    EXPECT_EQ(comm.Output(), "text");
}

TEST(CommDispatch, RaisesEachEventByItsNumberAndReleasesTheBuffer) {
    QueueChannel channel;
    TComm comm(channel);
    EventLog log(comm);

    auto buffer = std::make_unique<std::uint8_t[]>(4);
    buffer[0] = 'a';
    buffer[1] = 'b';
    buffer[2] = 'c';
    // The count's low 16 bits are the length.
    comm.Dispatch({MsgReceiveData, 0x10003, 0, std::move(buffer)});
    comm.Dispatch({MsgReceiveError, 0, CeFrame | CeOverrun, nullptr});
    comm.Dispatch({MsgRequestHangup, 0, 0, nullptr});
    comm.Dispatch({MsgModemStateChange, 0, 12, nullptr});
    comm.Dispatch({MsgSendDataEmpty, 0, 0, nullptr});
    comm.Dispatch({WmUser + 6, 1, 2, nullptr});
    comm.Dispatch({WmUser, 1, 2, nullptr});

    ASSERT_EQ(log.Kinds(),
              (std::vector<std::uint32_t>{MsgReceiveData, MsgReceiveError, MsgRequestHangup,
                                          MsgModemStateChange, MsgSendDataEmpty}));
    EXPECT_EQ(log.events[0].bytes, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_TRUE(log.zero_after_data);
    EXPECT_EQ(log.events[1].value, CeFrame | CeOverrun);
    EXPECT_EQ(log.events[3].value, 12u);
}

TEST(CommDispatch, WithoutHandlersNothingHappensAndHandlersMayReplaceThemselves) {
    QueueChannel channel;
    TComm comm(channel);
    comm.Dispatch({MsgReceiveData, 2, 0, std::make_unique<std::uint8_t[]>(3)});
    comm.Dispatch({MsgRequestHangup, 0, 0, nullptr});

    int first = 0, second = 0;
    comm.OnRequestHangup = [&](TComm& c) {
        ++first;
        c.OnRequestHangup = [&](TComm&) { ++second; };
    };
    comm.Dispatch({MsgRequestHangup, 0, 0, nullptr});
    comm.Dispatch({MsgRequestHangup, 0, 0, nullptr});
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(CommOpen, NoSuchPortFailsQuietlyAndCloseOnlyClearsTheText) {
    QueueChannel channel;
    TComm comm(channel);
    comm.SetCommName("/dev/tvk9-no-such-port");
    comm.OpenPort();
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "Error opening serial port");
    comm.ClosePort();
    EXPECT_EQ(comm.PortOpenError(), "");
    comm.ClosePort();
    EXPECT_EQ(channel.Size(), 0u);
}

TEST(CommOpen, FilesThatAreNoTerminalAreNoCommHandles) {
    QueueChannel channel;
    TComm comm(channel);
    char path[] = "/tmp/tvk9-serial-test-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::size_t descriptors = testing::OpenDescriptorCount();
    for (const std::string& name : {std::string("/dev/null"), std::string(path)}) {
        comm.SetCommName(name);
        comm.OpenPort();
        EXPECT_FALSE(comm.PortOpen()) << name;
        EXPECT_EQ(comm.PortOpenError(), "File handle is not a comm handle ") << name;
    }
    EXPECT_EQ(testing::OpenDescriptorCount(), descriptors);
    std::remove(path);
}

} // namespace
} // namespace tvk9
