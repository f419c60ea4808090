#pragma once

// How a device control block maps onto termios and the modem lines. Pure functions: the
// port layer applies their results, tests check them.

#include "serial/line_settings.h"

#include <cstdint>
#include <optional>
#include <termios.h>

namespace tvk9::linux_tty {

tcflag_t DataBitsFlag(std::uint8_t byte_size); // CS5 to CS8
tcflag_t ParityFlags(std::uint8_t parity);     // PARENB, PARODD, CMSPAR
tcflag_t StopBitsFlag(std::uint8_t stop_bits); // CSTOPB for one and a half and two

struct FlowFlags {
    tcflag_t cflag = 0; // CRTSCTS
    tcflag_t iflag = 0; // IXON, IXOFF, INPCK
    bool operator==(const FlowFlags&) const = default;
};
FlowFlags FlowControlFlags(std::uint32_t dcb_flags);

// Modem-control bits (TIOCM_DTR, TIOCM_RTS) to raise and to drop.
struct ModemLines {
    int raise = 0;
    int drop = 0;
    bool operator==(const ModemLines&) const = default;
};
ModemLines ModemLinesFor(std::uint32_t dcb_flags);

// The B constant of a standard rate; nullopt for a rate that needs BOTHER.
std::optional<speed_t> StandardSpeed(std::uint32_t baud);

// Raw mode with the given settings; nothing of `current` survives but what raw mode keeps.
termios TermiosFor(termios current, const Dcb& dcb);

// Sets a rate that has no B constant (termios2/BOTHER); false when the driver refuses.
bool SetCustomSpeed(int fd, std::uint32_t baud);
// The rate of a line set to one that has no B constant; nullopt for a standard rate.
std::optional<std::uint32_t> CustomSpeed(int fd);

} // namespace tvk9::linux_tty
