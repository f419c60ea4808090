#pragma once

namespace tvk9 {

// Sleeps until `fd` has data or its end to read. A descriptor left non-blocking by whoever
// opened it answers "try again" while a pipe's writer is still busy.
void WaitUntilReadable(int fd);

} // namespace tvk9
