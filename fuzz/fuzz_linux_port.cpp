// The Linux port layer's pure parts against plain readings of their rules: the kernel's tty
// driver list (entries made from the input, written as the kernel writes them, among lines that
// name no device), the PID of a lock file's text, the termios words and modem lines of a line
// setting, and the line error flags of two counter snapshots.

#include "serial/line_settings.h"
#include "serial/linux_port.h"
#include "serial/linux_port_use.h"
#include "serial/linux_termios.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// The input read front to back; zeros once it runs out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t Take(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = (value << 8) | (at_ < size_ ? data_[at_++] : 0u);
        }
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// ---- the driver list ----

struct Entry {
    unsigned major, first, last;
};

void CheckDriverList(std::string_view raw, Input& in) {
    // Any text: read without fault, and line by line.
    const dev_t any = makedev(in.Take(2) % 4096, in.Take(3) % (1u << 20));
    bool byLine = false;
    for (std::size_t at = 0; at <= raw.size();) {
        const std::size_t end = std::min(raw.find('\n', at), raw.size());
        byLine = byLine || tvk9::linux_port::DriverListHolds(raw.substr(at, end - at), any);
        at = end + 1;
    }
    Check(tvk9::linux_port::DriverListHolds(raw, any) == byLine);

    // "%-20s /dev/%-8s %3d %d-%d %s" for a driver of several minors, "%3d %7d" for one.
    std::vector<Entry> entries;
    std::string list;
    const unsigned count = in.Take(1) % 8;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned major = in.Take(2) % 4096;
        const unsigned first = in.Take(3) % (1u << 20);
        const unsigned span = in.Take(2) % 1024;
        const unsigned last = std::min(first + span, (1u << 20) - 1);
        entries.push_back({major, first, last});
        char line[128];
        if (last > first) {
            std::snprintf(line, sizeof line, "%-20s /dev/%-8s %3u %u-%u serial\n", "drv", "ttyF",
                          major, first, last);
        } else {
            std::snprintf(line, sizeof line, "%-20s /dev/%-8s %3u %7u serial\n", "one driver",
                          "ttyO", major, first);
        }
        list += line;
        // Lines that name no device numbers: no node, a node with no numbers after it.
        list += (in.Take(1) & 1) != 0 ? "unknown  tty 4 1-63 console\n" : "x /dev/y 4\n";
    }
    const auto listed = [&entries](unsigned major, unsigned minor) {
        for (const Entry& e : entries) {
            if (e.major == major && minor >= e.first && minor <= e.last) {
                return true;
            }
        }
        return false;
    };
    for (const Entry& e : entries) {
        for (const unsigned minor : {e.first, e.last, e.last + 1, e.first - 1}) {
            if (minor < (1u << 20)) {
                Check(tvk9::linux_port::DriverListHolds(list, makedev(e.major, minor)) ==
                      listed(e.major, minor));
            }
        }
    }
    Check(tvk9::linux_port::DriverListHolds(list, any) == listed(major(any), minor(any)));
}

// ---- the lock file ----

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

// Blanks, then one to ten digits of a PID above 0 that fits, then the end or a blank.
std::optional<pid_t> PlainLockPid(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    std::size_t digits = 0;
    std::uint64_t value = 0;
    while (i < text.size() && Digit(text[i])) {
        if (++digits > 10) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        ++i;
    }
    if (digits == 0 || value == 0 || value > static_cast<std::uint64_t>(INT_MAX)) {
        return std::nullopt;
    }
    const std::string_view blanks(" \t\n\r");
    if (i < text.size() && blanks.find(text[i]) == std::string_view::npos) {
        return std::nullopt;
    }
    return static_cast<pid_t>(value);
}

void CheckLockText(std::string_view raw, Input& in) {
    Check(tvk9::linux_port::LockFilePid(raw) == PlainLockPid(raw));
    const auto pid = static_cast<pid_t>(in.Take(4) % static_cast<std::uint32_t>(INT_MAX) + 1);
    const std::string text = tvk9::linux_port::LockFileText(pid);
    Check(text.size() == 11 && text.back() == '\n');
    Check(tvk9::linux_port::LockFilePid(text) == pid);
}

// ---- line settings ----

// termios(3): what cfmakeraw clears, and the settings' own bits.
void CheckTermios(const termios& before, const termios& t, const tvk9::Dcb& dcb) {
    Check((t.c_iflag &
           (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IGNPAR)) == 0);
    Check((t.c_oflag & OPOST) == 0);
    Check((t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN)) == 0);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    const tcflag_t size = dcb.ByteSize >= 5 && dcb.ByteSize <= 8 ? sizes[dcb.ByteSize - 5] : CS8;
    Check((t.c_cflag & CSIZE) == size);
    const bool parity = dcb.Parity >= 1 && dcb.Parity <= 4;
    Check(((t.c_cflag & PARENB) != 0) == parity);
    Check(((t.c_cflag & PARODD) != 0) == (dcb.Parity == 1 || dcb.Parity == 3));
    Check(((t.c_cflag & CMSPAR) != 0) == (dcb.Parity == 3 || dcb.Parity == 4));
    Check(((t.c_cflag & CSTOPB) != 0) == (dcb.StopBits != 0));
    const std::uint32_t rts = (dcb.Flags >> 12) & 3;
    Check(((t.c_cflag & CRTSCTS) != 0) == ((dcb.Flags & 0x0004) != 0 || rts == 2));
    Check(((t.c_iflag & IXON) != 0) == ((dcb.Flags & 0x0100) != 0));
    Check(((t.c_iflag & IXOFF) != 0) == ((dcb.Flags & 0x0200) != 0));
    Check(((t.c_iflag & INPCK) != 0) == ((dcb.Flags & 0x0002) != 0));
    Check((t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && (t.c_cflag & HUPCL) == 0);
    Check(t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0);
    Check(t.c_cc[VSTART] == static_cast<cc_t>(dcb.XonChar));
    Check(t.c_cc[VSTOP] == static_cast<cc_t>(dcb.XoffChar));
    const std::optional<speed_t> speed = tvk9::linux_tty::StandardSpeed(dcb.BaudRate);
    Check(cfgetospeed(&t) == speed.value_or(cfgetospeed(&before)));
    Check(cfgetispeed(&t) == speed.value_or(cfgetispeed(&before)));

    const tvk9::linux_tty::ModemLines lines = tvk9::linux_tty::ModemLinesFor(dcb.Flags);
    Check((lines.raise & lines.drop) == 0 && (lines.raise | lines.drop) == (TIOCM_DTR | TIOCM_RTS));
    Check(((lines.raise & TIOCM_DTR) != 0) == (((dcb.Flags >> 4) & 3) != 0));
    Check(((lines.raise & TIOCM_RTS) != 0) == (rts == 1 || rts == 2));
}

void CheckLineSettings(Input& in) {
    using namespace tvk9;
    const std::uint32_t rates[] = {9600, 115200, 50, 4000000, 250000, 0, 31250, in.Take(4)};
    LineSettings s;
    const std::uint32_t bits = in.Take(2);
    s.BaudRate = rates[in.Take(1) % 8];
    s.ParityCheck = bits & 1;
    s.Outx_CtsFlow = bits & 2;
    s.Outx_DsrFlow = bits & 4;
    s.DtrControl = static_cast<TDtrControl>(in.Take(1) % 3);
    s.DsrSensitivity = bits & 8;
    s.TxContinueOnXoff = bits & 16;
    s.Outx_XonXoffFlow = bits & 32;
    s.Inx_XonXoffFlow = bits & 64;
    s.ReplaceWhenParityError = bits & 128;
    s.IgnoreNullChar = bits & 256;
    s.RtsControl = static_cast<TRtsControl>(in.Take(1) % 4);
    s.ByteSize = static_cast<TByteSize>(in.Take(1) % 4);
    s.Parity = static_cast<TParity>(in.Take(1) % 5);
    s.StopBits = static_cast<TStopBits>(in.Take(1) % 3);
    s.XonChar = static_cast<char>(in.Take(1));
    s.XoffChar = static_cast<char>(in.Take(1));

    // The flag word, bit by bit as the table gives it; DTR and RTS in their two-bit fields.
    const std::uint32_t flags = DcbFlags(s);
    const bool set[] = {true,
                        s.ParityCheck,
                        s.Outx_CtsFlow,
                        s.Outx_DsrFlow,
                        false,
                        false,
                        s.DsrSensitivity,
                        s.TxContinueOnXoff,
                        s.Outx_XonXoffFlow,
                        s.Inx_XonXoffFlow,
                        s.ReplaceWhenParityError,
                        s.IgnoreNullChar};
    for (unsigned bit = 0; bit < 12; ++bit) {
        if (bit != 4 && bit != 5) {
            Check(((flags >> bit) & 1) == (set[bit] ? 1u : 0u));
        }
    }
    const std::uint32_t dtr[] = {1, 0, 2}; // enable, disable, handshake
    const std::uint32_t rts[] = {1, 0, 2, 3};
    Check(((flags >> 4) & 3) == dtr[static_cast<int>(s.DtrControl)]);
    Check(((flags >> 12) & 3) == rts[static_cast<int>(s.RtsControl)]);
    Check((flags & ~0x3FFFu) == 0);
    const Dcb dcb = BuildDcb(s);
    Check(dcb.ByteSize == static_cast<int>(s.ByteSize) + 5 && dcb.Flags == flags);

    termios current{};
    current.c_iflag = in.Take(4);
    current.c_oflag = in.Take(4);
    current.c_cflag = in.Take(4);
    current.c_lflag = in.Take(4);
    for (cc_t& c : current.c_cc) {
        c = static_cast<cc_t>(in.Take(1));
    }
    CheckTermios(current, linux_tty::TermiosFor(current, dcb), dcb);
    // A block that no setter made: any flag word, any codes.
    Dcb odd = dcb;
    odd.Flags = in.Take(4);
    odd.ByteSize = static_cast<std::uint8_t>(in.Take(1));
    odd.Parity = static_cast<std::uint8_t>(in.Take(1));
    odd.StopBits = static_cast<std::uint8_t>(in.Take(1));
    CheckTermios(current, linux_tty::TermiosFor(current, odd), odd);
}

// ---- line counters ----

void CheckCounters(Input& in) {
    tvk9::LineCounters a, b;
    for (tvk9::LineCounters* c : {&a, &b}) {
        for (std::uint32_t* field :
             {&c->frame, &c->overrun, &c->parity, &c->brk, &c->buf_overrun, &c->dcd, &c->rng}) {
            *field = in.Take(1) % 3; // small values: equal ones come often
        }
    }
    const std::uint32_t errors = tvk9::ErrorFlagsBetween(a, b);
    Check(errors ==
          ((a.buf_overrun != b.buf_overrun ? 0x0001u : 0u) |
           (a.overrun != b.overrun ? 0x0002u : 0u) | (a.parity != b.parity ? 0x0004u : 0u) |
           (a.frame != b.frame ? 0x0008u : 0u) | (a.brk != b.brk ? 0x0010u : 0u)));
    Check(tvk9::EventsBetween(a, b) ==
          ((errors != 0 ? 0x0080u : 0u) | (a.dcd != b.dcd ? 0x0020u : 0u) |
           (a.rng != b.rng ? 0x0100u : 0u)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Copied so that ASan sees a read beyond the input as one beyond this allocation.
    const std::string text(reinterpret_cast<const char*>(data), size);
    Input in(data, size);
    CheckDriverList(text, in);
    CheckLockText(text, in);
    CheckLineSettings(in);
    CheckCounters(in);
    return 0;
}
