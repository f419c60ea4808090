// A received block's road from a worker thread to the window's handler: Post() on the worker,
// Qt's posted-event queue, dispatch on the user-interface thread.

#include "app/qt/qt_notify_channel.h"
#include "serial/comm.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>
#include <thread>

namespace {

tvk9::NotifyMessage Block(std::size_t count) {
    tvk9::NotifyMessage m;
    m.Msg = tvk9::MsgReceiveData;
    m.WParam = count;
    m.Buffer = std::make_unique<std::uint8_t[]>(count + 1);
    return m;
}

// Throughput: a worker posts a batch of 10-byte blocks, then the loop delivers them all.
void BM_BlocksPostedAndDispatched(benchmark::State& state) {
    const auto batch = static_cast<int>(state.range(0));
    tvk9::QtNotifyChannel channel;
    tvk9::TComm comm(channel);
    channel.Attach(comm);
    std::size_t bytes = 0;
    comm.OnReceiveData = [&bytes](tvk9::TComm&, const std::uint8_t*, std::uint16_t n) {
        bytes += n;
    };
    for (auto _ : state) {
        std::thread worker([&channel, batch] {
            for (int i = 0; i < batch; ++i) {
                channel.Post(Block(10));
            }
        });
        worker.join();
        QCoreApplication::sendPostedEvents();
    }
    if (bytes != static_cast<std::size_t>(state.iterations()) * batch * 10) {
        state.SkipWithError("blocks lost");
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_BlocksPostedAndDispatched)->Arg(1)->Arg(100)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
