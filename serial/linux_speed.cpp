// termios2 lives in the kernel's headers, which clash with <termios.h>: kept apart here.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cstdint>
#include <optional>
#include <sys/ioctl.h>

namespace tvk9::linux_tty {

bool SetCustomSpeed(int fd, std::uint32_t baud) {
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return false;
    t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t2.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t2.c_ispeed = baud;
    t2.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &t2) == 0;
}

std::optional<std::uint32_t> CustomSpeed(int fd) {
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0 || (t2.c_cflag & CBAUD) != BOTHER)
        return std::nullopt;
    return t2.c_ospeed;
}

} // namespace tvk9::linux_tty
