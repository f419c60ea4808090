// tvk9-devsim: a TVK9 device on a pseudo-terminal.

#include "common/command_line.h"
#include "common/error.h"
#include "tools/devsim/command_line.h"
#include "tools/devsim/pty_device.h"

#include <csignal>
#include <iostream>
#include <sys/signalfd.h>
#include <vector>

int main(int argc, char** argv) {
    using namespace tvk9::devsim;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    CommandLine cl;
    try {
        cl = ParseCommandLine(args);
    } catch (const tvk9::Exception& e) {
        std::cerr << e.what() << '\n';
        return 2;
    }
    if (cl.help) {
        std::cout << UsageText();
        return 0;
    }
    if (cl.version) {
        std::cout << tvk9::VersionLine("tvk9-devsim") << '\n';
        return 0;
    }
    if (cl.log) {
        cl.run.log = &std::cerr;
    }

    // The signals that end the simulator arrive as readable data, so the link is removed on
    // the normal path out.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, s);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    // A reader of our output that went away must not end us before the link is removed.
    std::signal(SIGPIPE, SIG_IGN);
    const Fd stop(signalfd(-1, &stopSignals, SFD_CLOEXEC));
    if (!stop) {
        std::perror("tvk9-devsim: signalfd");
        return 1;
    }

    try {
        PtyDevice device(cl.run);
        std::cout << device.LinkPath().string() << std::endl;
        device.Run(stop.get());
    } catch (const tvk9::Exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
