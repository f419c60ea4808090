// Open/close cycles with traffic on a pseudo-terminal: each cycle opens the port, sends a
// 10-byte frame, receives a 10-byte answer and closes. Reports the threads, descriptors and
// heap bytes in use before and after; run it under valgrind --leak-check=full (or an
// address-sanitizer build) for the leak report.
//   serial_cycles [CYCLES]

#include "bench/side_by_side.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "tests/serial/pty_pair.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Valgrind preloads its core into the program it runs. There the heap is valgrind's own, without
// glibc's caches, and /proc/self/exe is valgrind's tool rather than this program.
bool UnderValgrind() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "vgpreload_core") != nullptr;
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

bool Cycle(tvk9::TComm& comm, tvk9::QueueChannel& channel, tvk9::testing::PtyPair& pty,
           int& received) {
    comm.OpenPort();
    if (!comm.PortOpen())
        return false;
    const std::array<std::uint8_t, 10> query = {0x55, 1, 2, 3, 4, 5, 6, 7, 8, 0xAA};
    const std::vector<std::uint8_t> sent(query.begin(), query.end());
    if (!comm.SendData(query) || pty.Read(query.size(), std::chrono::seconds(5)) != sent)
        return false;
    pty.Write(query);
    const int want = received + 1;
    while (received < want)
        if (!channel.DispatchNext(comm, std::chrono::seconds(5)))
            return false;
    comm.ClosePort();
    channel.DispatchPending(comm);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // glibc's per-thread caches keep freed blocks that mallinfo2 counts as in use; without
    // them the count is exact. Re-run once with them off.
    if (!std::getenv("GLIBC_TUNABLES") && !UnderValgrind()) {
        ::setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
        ::execv("/proc/self/exe", argv);
    }
    const int asked = argc > 1 ? std::atoi(argv[1]) : 0;
    const int cycles = asked > 0 ? asked : 1000;
    tvk9::testing::PtyPair pty;
    tvk9::QueueChannel channel;
    tvk9::TComm comm(channel);
    int received = 0;
    comm.OnReceiveData = [&](tvk9::TComm&, const std::uint8_t*, std::uint16_t length) {
        received += length == 10;
    };
    comm.SetCommName(pty.Path());
    comm.SetInBufferSize(10);
    comm.SetInputLen(10);

    // One cycle first, so that what the runtime sets up once is not counted.
    if (!Cycle(comm, channel, pty, received)) {
        std::fprintf(stderr, "serial_cycles: first cycle failed: %s\n",
                     comm.PortOpenError().c_str());
        return 1;
    }
    const std::size_t threads = tvk9::testing::ThreadCount();
    const std::size_t fds = tvk9::testing::OpenDescriptorCount();
    const std::size_t heap = HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < cycles; ++i) {
        if (!Cycle(comm, channel, pty, received)) {
            std::fprintf(stderr, "serial_cycles: cycle %d failed\n", i);
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t threads_after = tvk9::testing::ThreadCount();
    const std::size_t fds_after = tvk9::testing::OpenDescriptorCount();
    const std::size_t heap_after = HeapInUse();
    std::printf("serial_cycles: %d open/send/receive/close cycles in %.2f s (%.2f ms each)\n",
                cycles, seconds, 1000.0 * seconds / cycles);
    if (UnderValgrind()) {
        // glibc's count misses valgrind's heap: valgrind's own summary follows at exit.
        std::printf("serial_cycles: threads %zu -> %zu, descriptors %zu -> %zu, heap: valgrind's "
                    "summary below\n",
                    threads, threads_after, fds, fds_after);
    } else {
        std::printf("serial_cycles: threads %zu -> %zu, descriptors %zu -> %zu, heap in use %zu "
                    "-> %zu bytes\n",
                    threads, threads_after, fds, fds_after, heap, heap_after);
    }
    const bool clean = threads == threads_after && fds == fds_after && heap == heap_after;
    std::printf("serial_cycles: %s\n", clean ? "nothing left behind" : "LEFT SOMETHING BEHIND");
    char value[96];
    std::snprintf(value, sizeof value, "%.2f ms each; %s", 1000.0 * seconds / cycles,
                  clean ? "nothing left behind" : "LEFT SOMETHING BEHIND");
    tvk9::bench::PrintFigure("open, frame each way, close (" + std::to_string(cycles) + " cycles)",
                             value, "—", "nothing left behind");
    return clean ? 0 : 1;
}
