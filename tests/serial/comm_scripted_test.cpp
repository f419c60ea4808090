// The component and its workers on a scripted port: line events, failures and the exact
// order of what the workers do, which a pseudo-terminal cannot produce.

#include "event_log.h"
#include "scripted_port.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"

#include <gtest/gtest.h>

namespace tvk9 {
namespace {

using testing::Bytes;
using testing::DispatchUntil;
using testing::EventLog;
using testing::PortScript;
using testing::ScriptedOpener;
using Kind = ReceiveResult::Kind;

const std::string RxEnd = "purge:" + std::to_string(PurgeRxAbort | PurgeRxClear);
const std::string TxEnd = "purge:" + std::to_string(PurgeTxAbort | PurgeTxClear);

class CommScripted : public ::testing::Test {
protected:
    CommScripted() : comm(channel, ScriptedOpener(script)), log(comm) {
        comm.SetInBufferSize(10);
        comm.SetInputLen(10);
    }
    void Open() {
        comm.OpenPort();
        ASSERT_TRUE(comm.PortOpen()) << comm.PortOpenError();
        // The transmit worker announces its empty queue once it runs.
        ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 1; }));
    }
    bool Until(const std::function<bool()>& done) { return DispatchUntil(channel, comm, done); }
    // Waits until a worker has run its end step (the call of `purge`, made once more by
    // ClosePort for each worker).
    bool WorkerEnded(const std::string& purge) {
        return script->WaitUntil([&] { return script->CountCallsLocked(purge) == 1; });
    }

    std::shared_ptr<PortScript> script = std::make_shared<PortScript>();
    QueueChannel channel;
    TComm comm;
    EventLog log;
};

TEST_F(CommScripted, OpeningPurgesAppliesTimeoutsThenLineSettingsThenStartsBothWorkers) {
    comm.SetBaudRate(19200);
    comm.SetReadTotalTimeoutConstant(7);
    Open();
    ASSERT_TRUE(script->WaitUntil([&] { return script->calls.size() >= 5; }));
    std::vector<std::string> calls;
    {
        std::lock_guard lock(script->mutex);
        calls.assign(script->calls.begin(), script->calls.begin() + 5);
        ASSERT_EQ(script->lines.size(), 1u);
        EXPECT_EQ(script->lines[0].BaudRate, 19200u);
        EXPECT_EQ(script->lines[0].Flags, 0x0001u);
        EXPECT_EQ(script->timeouts[0].ReadTotalTimeoutConstant, 7u);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"purge:15", "timeouts", "line", "events",
                                               "mask:" + std::to_string(0x01A0)}));
    EXPECT_EQ(comm.PortOpenError(), "");
}

TEST_F(CommScripted, SettingsApplyAtOnceWhileOpenButOnlyWhenTheyChange) {
    comm.SetBaudRate(9600); // closed and unchanged
    Open();
    comm.SetBaudRate(9600);
    comm.SetReadIntervalTimeout(100);
    comm.SetParity(TParity::None);
    EXPECT_EQ(script->CountCalls("line"), 1);
    EXPECT_EQ(script->CountCalls("timeouts"), 1);

    comm.SetBaudRate(57600);
    comm.SetRtsControl(TRtsControl::RtsHandshake);
    comm.SetWriteTotalTimeoutConstant(30);
    {
        std::lock_guard lock(script->mutex);
        ASSERT_EQ(script->lines.size(), 3u);
        EXPECT_EQ(script->lines[2].BaudRate, 57600u);
        EXPECT_EQ(script->lines[2].Flags, 0x2001u);
        ASSERT_EQ(script->timeouts.size(), 2u);
        EXPECT_EQ(script->timeouts[1].WriteTotalTimeoutConstant, 30u);
    }
    comm.ClosePort();
    comm.SetByteSize(TByteSize::_7); // closed: kept for the next open
    EXPECT_EQ(script->CountCalls("line"), 3);
    comm.OpenPort();
    std::lock_guard lock(script->mutex);
    EXPECT_EQ(script->lines.back().ByteSize, 7);
}

TEST_F(CommScripted, OpenWhileOpenAndTheFailuresOfOpening) {
    Open();
    comm.OpenPort();
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "This serial port already opened");
    EXPECT_EQ(script->opened, 1);
    comm.ClosePort();
    EXPECT_EQ(comm.PortOpenError(), "");
    EXPECT_EQ(script->alive, 0);

    script->events_ok = false;
    comm.OpenPort();
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "Unable to create event");
    EXPECT_EQ(script->alive, 0);

    script->char_device = false;
    comm.OpenPort();
    EXPECT_EQ(comm.PortOpenError(), "File handle is not a comm handle ");

    script->char_device = true;
    script->setup_ok = false;
    try {
        comm.OpenPort();
        FAIL() << "no exception";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Cannot setup comm buffer");
    }
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_EQ(comm.PortOpenError(), "Cannot setup comm buffer");
    EXPECT_EQ(script->alive, 0);
}

TEST_F(CommScripted, LineErrorsAndModemEventsAreReportedAndReadingGoesOn) {
    script->line_errors = CeFrame | CeBreak;
    Open();
    script->Push({Kind::LineEvent, 0, EvErr});
    script->Push({Kind::LineEvent, 0, EvRlsd});
    script->Push({Kind::LineEvent, 0, EvRing});
    script->Push({Kind::LineEvent, 0, EvErr | EvRlsd | EvRing});
    script->PushBytes(Bytes(4, 0x41));
    ASSERT_TRUE(Until([&] { return log.Count(MsgReceiveData) == 1; }));
    EXPECT_EQ(log.Kinds(),
              (std::vector<std::uint32_t>{MsgSendDataEmpty, MsgReceiveError, MsgModemStateChange,
                                          MsgModemStateChange, MsgReceiveError, MsgModemStateChange,
                                          MsgReceiveData}));
    EXPECT_EQ(log.events[1].value, CeFrame | CeBreak);
    EXPECT_EQ(log.events[2].value, ModemEventCarrier);
    EXPECT_EQ(log.events[3].value, ModemEventRing);
    EXPECT_EQ(log.events[5].value, ModemEventCarrier | ModemEventRing);
    EXPECT_EQ(log.Data(), Bytes(4, 0x41));
    EXPECT_TRUE(log.zero_after_data);
    EXPECT_EQ(log.Count(MsgRequestHangup), 0);
}

TEST_F(CommScripted, ReceiveWorkerEndingsWithAndWithoutHangup) {
    struct Case {
        const char* what;
        ReceiveResult result;
        std::optional<std::uint32_t> errors;
        int hangups;
    };
    const Case cases[] = {
        {"empty line event", {Kind::LineEvent, 0, 0}, 0, 1},
        {"clearing the errors fails", {Kind::LineEvent, 0, EvErr}, std::nullopt, 1},
        {"device failure", {Kind::Failed, 0, 0}, 0, 1},
        {"port closed under the worker", {Kind::Closed, 0, 0}, 0, 0},
        {"total time-out ran out empty", {Kind::ReadComplete, 0, 0}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        script->line_errors = c.errors;
        script->calls.clear();
        log.events.clear();
        Open();
        script->Push(c.result);
        // What comes after the ending is never read.
        script->PushBytes(Bytes(3));
        ASSERT_TRUE(WorkerEnded(RxEnd));
        channel.DispatchPending(comm);
        EXPECT_EQ(log.Count(MsgRequestHangup), c.hangups);
        EXPECT_EQ(log.Count(MsgReceiveData), 0);
        EXPECT_EQ(log.Count(MsgReceiveError), 0);
        // The component stays open until ClosePort, and the transmit worker still works.
        EXPECT_TRUE(comm.PortOpen());
        EXPECT_TRUE(comm.SendData(Bytes(2)));
        ASSERT_TRUE(script->WaitUntil([&] { return script->writes.size() == 1; }));
        comm.ClosePort();
        channel.DispatchPending(comm);
        EXPECT_EQ(log.Count(MsgRequestHangup), c.hangups);
        script->incoming.clear();
        script->writes.clear();
    }
}

TEST_F(CommScripted, AHangupLeftQueuedByAClosedPortIsNotRaisedForTheNextOne) {
    Open();
    script->Push({Kind::Failed, 0, 0});
    ASSERT_TRUE(WorkerEnded(RxEnd)); // its hang-up waits in the queue
    comm.ClosePort();
    comm.OpenPort();
    // Queued behind that hang-up: the next port's first notification.
    ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 2; }));
    EXPECT_EQ(log.Count(MsgRequestHangup), 0);
    // A port's own hang-up is raised, also after one that was raised for the port before it.
    for (int raised = 1; raised <= 2; ++raised) {
        script->Push({Kind::Failed, 0, 0});
        ASSERT_TRUE(Until([&] { return log.Count(MsgRequestHangup) == raised; }));
        comm.ClosePort();
        comm.OpenPort();
    }
}

TEST_F(CommScripted, AReadNeverAsksForMoreThanTheBufferHolds) {
    comm.SetInBufferSize(2048);
    comm.SetInputLen(100);
    comm.SetInBufferSize(16); // InputLen stays 100
    ASSERT_EQ(comm.InputLen(), 100);
    Open();
    script->PushBytes(Bytes(16));
    ASSERT_TRUE(Until([&] { return log.Count(MsgReceiveData) == 1; }));
    comm.ClosePort();
    std::lock_guard lock(script->mutex);
    ASSERT_GE(script->read_sizes.size(), 1u);
    for (std::size_t size : script->read_sizes)
        EXPECT_EQ(size, 16u);
}

TEST_F(CommScripted, ReadsOfEverySizeArriveWholeInOrderWithAZeroAfterThem) {
    // Read size 10: a read of 5 or more travels in the block it was read into, a shorter one
    // is copied out and its block read into again.
    Open();
    const std::vector<std::size_t> sizes{10, 3, 9, 1, 4, 10, 5, 2, 6};
    std::vector<std::uint8_t> sent;
    for (std::size_t n : sizes) {
        const auto bytes = Bytes(n, static_cast<std::uint8_t>(sent.size() + 1));
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        script->PushBytes(bytes);
    }
    ASSERT_TRUE(Until([&] { return log.DataSizes().size() == sizes.size(); }));
    EXPECT_EQ(log.DataSizes(), sizes);
    EXPECT_EQ(log.Data(), sent);
    EXPECT_TRUE(log.zero_after_data);
}

TEST_F(CommScripted, NotificationsThatCannotBePostedEndTheWorkerQuietly) {
    Open();
    channel.SetRefusing(true);
    script->PushBytes(Bytes(5));
    ASSERT_TRUE(WorkerEnded(RxEnd));
    channel.SetRefusing(false);
    script->PushBytes(Bytes(5));
    comm.ClosePort();
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgReceiveData), 0);
    EXPECT_EQ(log.Count(MsgRequestHangup), 0);
}

TEST_F(CommScripted, BothQueuesAreBoundedAndAReadThatFindsNoRoomEndsInAHangup) {
    Open();
    // The transmit worker is stuck in its first write: 10,000 more wait, the next is refused.
    script->Change([](PortScript& s) { s.writes_held = true; });
    std::size_t accepted = 0;
    while (accepted < 20000 && comm.SendData(Bytes(10)))
        ++accepted;
    EXPECT_GE(accepted, 10000u);
    EXPECT_LE(accepted, 10001u);
    // Reads the owner does not take: the one beyond the bound is dropped and ends reception.
    for (int i = 0; i <= 10000; ++i)
        script->PushBytes(Bytes(1, static_cast<std::uint8_t>(i)));
    ASSERT_TRUE(WorkerEnded(RxEnd));
    EXPECT_EQ(channel.Size(), 10001u);
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgReceiveData), 10000);
    EXPECT_EQ(log.Kinds().back(), MsgRequestHangup);
    // Once written, the queue takes requests again.
    script->ReleaseWrites();
    ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 2; }));
    EXPECT_EQ(script->WrittenBytes().size(), accepted * 10);
    EXPECT_TRUE(comm.SendData(Bytes(10)));
}

TEST_F(CommScripted, QueuedWritesGoOutWholeAndInOrderWithOneEmptyAfterThem) {
    Open();
    script->Change([](PortScript& s) { s.writes_held = true; });
    const auto first = Bytes(10, 0x10);
    const auto second = Bytes(10, 0x80);
    ASSERT_TRUE(comm.SendData(first));
    ASSERT_TRUE(comm.SendData(second));
    script->ReleaseWrites();
    ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 2; }));
    std::vector<std::uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(script->WrittenBytes(), both);
    comm.ClosePort();
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgSendDataEmpty), 2);
}

TEST_F(CommScripted, ShortWritesAreContinuedWithTheRestOfTheBlock) {
    script->write_chunk = 3;
    Open();
    const auto frame = Bytes(10, 1);
    ASSERT_TRUE(comm.SendData(frame));
    ASSERT_TRUE(Until([&] { return log.Count(MsgSendDataEmpty) == 2; }));
    EXPECT_EQ(script->WrittenBytes(), frame);
    std::lock_guard lock(script->mutex);
    EXPECT_EQ(script->writes.size(), 4u);
}

TEST_F(CommScripted, AFailedWriteEndsTheTransmitWorkerAndLaterSendsAreRefused) {
    Open();
    script->Change([](PortScript& s) {
        s.writes_held = true;
        s.next_write_fails = WriteResult::Kind::Failed;
    });
    ASSERT_TRUE(comm.SendData(Bytes(10)));
    ASSERT_TRUE(comm.SendData(Bytes(10))); // queued behind the failing one, never written
    script->ReleaseWrites();
    ASSERT_TRUE(Until([&] { return log.Count(MsgRequestHangup) == 1; }));
    ASSERT_TRUE(WorkerEnded(TxEnd));
    EXPECT_FALSE(comm.SendData(Bytes(10)));
    EXPECT_TRUE(comm.PortOpen());
    comm.ClosePort();
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgSendDataEmpty), 1);
    EXPECT_TRUE(script->WrittenBytes().empty());
}

TEST_F(CommScripted, AWriteFailingWithAClosedPortIsNotReported) {
    script->next_write_fails = WriteResult::Kind::Closed;
    Open();
    ASSERT_TRUE(comm.SendData(Bytes(10)));
    ASSERT_TRUE(WorkerEnded(TxEnd));
    comm.ClosePort();
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Count(MsgRequestHangup), 0);
}

TEST_F(CommScripted, ClosingDuringAWriteWritesNothingMoreAndReportsNothing) {
    Open();
    script->Change([](PortScript& s) { s.writes_held = true; });
    ASSERT_TRUE(comm.SendData(Bytes(10)));
    ASSERT_TRUE(comm.SendData(Bytes(10)));
    comm.ClosePort();
    EXPECT_TRUE(script->WrittenBytes().empty());
    channel.DispatchPending(comm);
    EXPECT_EQ(log.Kinds(), std::vector<std::uint32_t>{MsgSendDataEmpty});
    // Both workers ran their end step, each once more purged by ClosePort.
    EXPECT_EQ(script->CountCalls(RxEnd), 2);
    EXPECT_EQ(script->CountCalls(TxEnd), 2);
    EXPECT_FALSE(comm.SendData(Bytes(10)));
}

TEST_F(CommScripted, HandlersMayCloseAndReopenThePort) {
    Open();
    int reopened = 0;
    comm.OnReceiveData = [&](TComm& sender, const std::uint8_t* buffer, std::uint16_t length) {
        // The buffer stays valid for the whole handler, across ClosePort and OpenPort.
        sender.ClosePort();
        sender.OpenPort();
        reopened += sender.PortOpen() && length == 3 && buffer[2] == 2 && buffer[3] == 0;
    };
    script->PushBytes(Bytes(3));
    ASSERT_TRUE(channel.DispatchNext(comm, std::chrono::seconds(5)));
    EXPECT_EQ(reopened, 1);
    EXPECT_EQ(script->opened, 2);
    EXPECT_EQ(script->alive, 1);
}

TEST_F(CommScripted, DestroyingAnOpenComponentStopsItsWorkersAndClosesThePort) {
    auto owned = std::make_unique<TComm>(channel, ScriptedOpener(script));
    owned->OpenPort();
    ASSERT_TRUE(owned->PortOpen());
    ASSERT_TRUE(owned->SendData(Bytes(4)));
    owned.reset();
    EXPECT_EQ(script->alive, 0);
    EXPECT_TRUE(script->close_signalled);
    // Whatever was posted before the end is still in the channel; nothing comes later.
    const std::size_t left = channel.Size();
    script->PushBytes(Bytes(3));
    EXPECT_EQ(channel.Size(), left);
}

} // namespace
} // namespace tvk9
