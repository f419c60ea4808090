// CPU time that an open, idle serial port costs: the process's CPU seconds while a TComm
// holds a pseudo-terminal open for a while (10 s unless given) with nothing on the line.
//   serial_idle [SECONDS]

#include "bench/side_by_side.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "tests/serial/pty_pair.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    // Arguments meant for other benchmarks (./do bench passes them to all) are not numbers.
    const int asked = argc > 1 ? std::atoi(argv[1]) : 0;
    const int seconds = asked > 0 ? asked : 10;
    tvk9::testing::PtyPair pty;
    tvk9::QueueChannel channel;
    tvk9::TComm comm(channel);
    comm.SetCommName(pty.Path());
    comm.SetInBufferSize(10);
    comm.SetInputLen(10);
    comm.OpenPort();
    if (!comm.PortOpen()) {
        std::fprintf(stderr, "serial_idle: %s\n", comm.PortOpenError().c_str());
        return 1;
    }
    // Let the transmit worker announce its empty queue, then leave everything alone.
    channel.DispatchNext(comm, std::chrono::seconds(5));
    const double before = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - before;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    comm.ClosePort();
    std::printf("serial_idle: open idle port, %.1f s wall, %.6f CPU s for the process "
                "(%.4f %% of one core)\n",
                wall, cpu, 100.0 * cpu / wall);
    char value[64];
    std::snprintf(value, sizeof value, "%.4f %% of a core over %.0f s", 100.0 * cpu / wall, wall);
    tvk9::bench::PrintFigure("idle CPU, open port with nothing on the line", value, "—",
                             "≈ 0 (no wake-ups)");
    return 0;
}
