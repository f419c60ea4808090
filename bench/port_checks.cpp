// What opening a port costs before the port is touched: the look for another program that has
// it open (a walk over /proc), the console lists, the UUCP lock, and the port list with the
// USB details of each port. The look is measured on a crowded machine, 100,000 descriptors held
// by 50 idle processes, beside the walk of every descriptor that it was before.
//   port_checks [ROUNDS]

#include "bench/descriptor_crowd.h"
#include "bench/holder_walk.h"
#include "bench/side_by_side.h"
#include "config/port_list.h"
#include "serial/linux_port_use.h"
#include "tests/serial/pty_pair.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsEach(int rounds, const std::function<void()>& step) {
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        step();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

double Seconds(const std::function<void()>& step) {
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::size_t Count(const char* folder, bool digitsOnly) {
    std::size_t n = 0;
    if (DIR* d = ::opendir(folder)) {
        while (const dirent* e = ::readdir(d))
            n += e->d_name[0] != '.' &&
                 (!digitsOnly || (e->d_name[0] >= '0' && e->d_name[0] <= '9'));
        ::closedir(d);
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    namespace bench = tvk9::bench;
    using tvk9::linux_port::HolderLook;
    const int asked = argc > 1 ? std::atoi(argv[1]) : 0;
    const int rounds = asked > 0 ? asked : 200;
    const int lookRounds = bench::Rounds(7);
    tvk9::testing::PtyPair pty;
    struct stat st {};
    ::stat(pty.Path().c_str(), &st);
    const dev_t device = st.st_rdev;

    {
        const tvk9::bench::DescriptorCrowd crowd(50, 2000);
        std::printf("port_checks: %zu descriptors held by 50 sleeping processes, %zu processes "
                    "visible in /proc\n",
                    crowd.Descriptors(), Count("/proc", true));
        HolderLook kept; // as the window keeps it from one scan step to the next
        kept.Refresh();
        const auto looks = bench::Alternate(
            lookRounds, {[&] {
                             return Seconds([&] {
                                 kept.Refresh();
                                 kept.HolderOf(device);
                             });
                         },
                         [&] { return Seconds([&] { bench::AnyOtherProcessHolds(device); }); }});
        std::printf("port_checks: a look walked %zu processes, %zu descriptors\n",
                    kept.WalkedProcesses(), kept.WalkedDescriptors());
        bench::PrintFigureAtMost("look for another program holding a port, 100k descriptors in "
                                 "50 sleeping processes (root)",
                                 bench::Time(), looks[0], "every descriptor walked (before)",
                                 looks[1], 0.005);
        const auto first = bench::Alternate(
            lookRounds, {[&] {
                             return Seconds([&] {
                                 HolderLook fresh;
                                 fresh.Refresh();
                                 fresh.HolderOf(device);
                             });
                         },
                         [&] { return Seconds([&] { bench::AnyOtherProcessHolds(device); }); }});
        bench::PrintFigure("first look of a program that has seen nothing yet (every descriptor "
                           "walked once), same machine",
                           bench::Time(), first[0], "every look (before)", first[1], 0);
    }
    {
        // What is not bounded: a process that runs holds what it may have changed.
        const tvk9::bench::DescriptorCrowd busy(1, 10000, std::chrono::milliseconds(10));
        HolderLook kept;
        kept.Refresh();
        const auto looks = bench::Alternate(lookRounds, {[&] {
                                                return Seconds([&] {
                                                    kept.Refresh();
                                                    kept.HolderOf(device);
                                                });
                                            }});
        bench::PrintFigure("look beside one busy process holding 10k descriptors (it runs every "
                           "10 ms, so each look walks them)",
                           bench::MedianAndRange(bench::Time(), looks[0]), "—",
                           "— (grows with what running processes hold)");
    }

    const std::string name = tvk9::linux_port::NameBelowDev(pty.Path());
    std::printf("port_checks: %zu processes visible in /proc\n", Count("/proc", true));
    std::printf("port_checks: fresh look for a holder (every descriptor):  %8.1f us\n",
                MicrosecondsEach(rounds, [&] { tvk9::linux_port::FindHolder(device); }));
    HolderLook kept;
    std::printf("port_checks: look kept up to date:                      %8.1f us\n",
                MicrosecondsEach(rounds, [&] {
                    kept.Refresh();
                    kept.HolderOf(device);
                }));
    std::printf("port_checks: terminal and console lists:                %8.1f us\n",
                MicrosecondsEach(rounds, [&] {
                    tvk9::linux_port::IsTerminal(device);
                    tvk9::linux_port::IsActiveConsole(name, device);
                }));
    std::printf("port_checks: UUCP lock taken and removed:               %8.1f us\n",
                MicrosecondsEach(rounds, [&] { tvk9::linux_port::TakeUucpLock(pty.Path()); }));
    std::printf("port_checks: port list, names only:                     %8.1f us\n",
                MicrosecondsEach(rounds, [] { tvk9::ListSerialPorts(); }));
    std::printf("port_checks: port list with USB details:                %8.1f us\n",
                MicrosecondsEach(rounds, [] { tvk9::ListSerialPortInfo(); }));
    return 0;
}
