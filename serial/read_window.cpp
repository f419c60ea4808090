#include "serial/read_window.h"

namespace tvk9 {

ReadWindow::ReadWindow(const CommTimeouts& t, std::size_t asked, SteadyClock::time_point start)
    : asked_(asked) {
    using std::chrono::milliseconds;
    if (t.ReadIntervalTimeout == MaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        at_once_ = true;
        return;
    }
    if (t.ReadIntervalTimeout == MaxDword && t.ReadTotalTimeoutMultiplier == MaxDword &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MaxDword) {
        first_bytes_ = true;
        total_ = Deadline::After(start, milliseconds(t.ReadTotalTimeoutConstant));
        return;
    }
    if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        // 64 bits: multiplier x bytes overflows 32 bits easily.
        const auto total = static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * asked +
                           t.ReadTotalTimeoutConstant;
        total_ = Deadline::After(start, milliseconds(static_cast<std::int64_t>(total)));
    }
    if (t.ReadIntervalTimeout != 0)
        interval_ = milliseconds(t.ReadIntervalTimeout);
}

bool ReadWindow::Complete(std::size_t got) const {
    return got >= asked_ || at_once_ || (first_bytes_ && got > 0);
}

Deadline ReadWindow::Ends(std::size_t got, SteadyClock::time_point last_byte) const {
    if (got > 0 && interval_)
        return Deadline::Earliest(total_, Deadline::After(last_byte, *interval_));
    return total_;
}

} // namespace tvk9
