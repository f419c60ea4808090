#pragma once

#include "serial/deadline.h"
#include "serial/line_settings.h"

#include <cstddef>

namespace tvk9 {

// When one read of `asked` bytes ends, by the read time-outs of the classic serial driver:
// - interval: after the first byte, the read ends when this long passes without another;
// - total: multiplier x asked + constant after the read starts, whatever has come;
// - interval MaxDword with both totals 0: return at once with what is there, even nothing;
// - interval and multiplier MaxDword, constant between 0 and MaxDword exclusive: return as
//   soon as anything is there, or empty when the constant runs out first.
// A read also ends when `asked` bytes are in. Pure: the caller supplies every time point.
class ReadWindow {
public:
    ReadWindow(const CommTimeouts& timeouts, std::size_t asked, SteadyClock::time_point start);

    // Whether a read holding `got` bytes is finished, without looking at the clock.
    bool Complete(std::size_t got) const;
    // When a read holding `got` bytes, the latest taken at `last_byte`, ends by time-out.
    Deadline Ends(std::size_t got, SteadyClock::time_point last_byte) const;

private:
    std::size_t asked_;
    bool at_once_ = false;
    bool first_bytes_ = false;
    Deadline total_ = Deadline::Never();
    std::optional<std::chrono::milliseconds> interval_;
};

} // namespace tvk9
