#pragma once

// A pseudo-terminal whose master side plays the device for the serial measurements.

#include <cstdint>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace tvk9::bench {

struct Pty {
    Pty() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (::openpty(&master, &slave, name, &raw, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = name;
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master = -1;
    int slave = -1;
    std::string path;
};

} // namespace tvk9::bench
