// What opening a port costs before the port is touched: the look for another program that has
// it open (a walk over /proc), the console lists, the UUCP lock, and the port list with the
// USB details of each port.
//   port_checks [ROUNDS]

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

double MicrosecondsEach(int rounds, const std::function<void()>& step) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        step();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
               .count() /
           rounds;
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
    const int asked = argc > 1 ? std::atoi(argv[1]) : 0;
    const int rounds = asked > 0 ? asked : 200;
    tvk9::testing::PtyPair pty;
    struct stat st {};
    ::stat(pty.Path().c_str(), &st);
    const std::string name = tvk9::linux_port::NameBelowDev(pty.Path());
    std::printf("port_checks: %zu processes visible in /proc\n", Count("/proc", true));
    std::printf("port_checks: other program holding the port (/proc walk): %8.1f us\n",
                MicrosecondsEach(rounds, [&] { tvk9::linux_port::FindHolder(st.st_rdev); }));
    std::printf("port_checks: terminal and console lists:                %8.1f us\n",
                MicrosecondsEach(rounds, [&] {
                    tvk9::linux_port::IsTerminal(st.st_rdev);
                    tvk9::linux_port::IsActiveConsole(name, st.st_rdev);
                }));
    std::printf("port_checks: UUCP lock taken and removed:               %8.1f us\n",
                MicrosecondsEach(rounds, [&] { tvk9::linux_port::TakeUucpLock(pty.Path()); }));
    std::printf("port_checks: port list, names only:                     %8.1f us\n",
                MicrosecondsEach(rounds, [] { tvk9::ListSerialPorts(); }));
    std::printf("port_checks: port list with USB details:                %8.1f us\n",
                MicrosecondsEach(rounds, [] { tvk9::ListSerialPortInfo(); }));
    return 0;
}
