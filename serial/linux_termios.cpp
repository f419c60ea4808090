#include "serial/linux_termios.h"

#include <sys/ioctl.h>

namespace tvk9::linux_tty {

tcflag_t DataBitsFlag(std::uint8_t byte_size) {
    switch (byte_size) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity) {
    switch (parity) {
    case 1:
        return PARENB | PARODD;
    case 2:
        return PARENB;
    case 3: // mark: the parity bit always 1
        return PARENB | CMSPAR | PARODD;
    case 4: // space: always 0
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Linux has no one and a half stop bits; two is the nearest the hardware takes.
tcflag_t StopBitsFlag(std::uint8_t stop_bits) {
    return stop_bits == 0 ? 0 : CSTOPB;
}

FlowFlags FlowControlFlags(std::uint32_t flags) {
    FlowFlags f;
    // Linux couples CTS output flow and RTS input flow in one flag.
    if ((flags & dcb::fOutxCtsFlow) || RtsControlField(flags) == 2)
        f.cflag |= CRTSCTS;
    if (flags & dcb::fOutX)
        f.iflag |= IXON;
    if (flags & dcb::fInX)
        f.iflag |= IXOFF;
    if (flags & dcb::fParity)
        f.iflag |= INPCK;
    return f;
}

ModemLines ModemLinesFor(std::uint32_t flags) {
    ModemLines m;
    // Handshake modes raise the line; the driver (CRTSCTS) or the far end takes it from there.
    (DtrControlField(flags) == 0 ? m.drop : m.raise) |= TIOCM_DTR;
    const std::uint32_t rts = RtsControlField(flags);
    // Toggle (RTS while transmitting) has no termios equivalent: RTS stays off.
    (rts == 1 || rts == 2 ? m.raise : m.drop) |= TIOCM_RTS;
    return m;
}

std::optional<speed_t> StandardSpeed(std::uint32_t baud) {
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    case 2500000:
        return B2500000;
    case 3000000:
        return B3000000;
    case 3500000:
        return B3500000;
    case 4000000:
        return B4000000;
    default:
        return std::nullopt;
    }
}

termios TermiosFor(termios t, const Dcb& dcb) {
    cfmakeraw(&t);
    t.c_cflag &=
        ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD | DataBitsFlag(dcb.ByteSize) | ParityFlags(dcb.Parity) |
                 StopBitsFlag(dcb.StopBits);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    const FlowFlags flow = FlowControlFlags(dcb.Flags);
    t.c_cflag |= flow.cflag;
    t.c_iflag |= flow.iflag;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    // With O_NONBLOCK and VMIN 1 an empty read fails with EAGAIN and 0 means hangup only
    // (VMIN 0 would return 0 for "nothing yet" too). The receive worker does all timing.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (const auto speed = StandardSpeed(dcb.BaudRate)) {
        cfsetispeed(&t, *speed);
        cfsetospeed(&t, *speed);
    }
    return t;
}

} // namespace tvk9::linux_tty
