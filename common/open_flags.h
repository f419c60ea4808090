#pragma once

// Flags for open() that differ between the systems: Windows's C runtime has no non-blocking
// opens and no controlling terminals, and would translate line ends unless told not to.

#include <fcntl.h>

namespace tvk9 {

#ifdef _WIN32
// The bytes as they are, and not inherited by programs that this one starts.
inline constexpr int OpenAsIs = O_BINARY | O_NOINHERIT;
// Nothing on Windows waits at open, and there are no controlling terminals.
inline constexpr int OpenNoWait = 0;
inline constexpr int OpenNotControlling = 0;
// Windows's C runtime follows no links of its own.
inline constexpr int OpenNoFollow = 0;
#else
inline constexpr int OpenAsIs = O_CLOEXEC;
// Opening or reading a FIFO never waits.
inline constexpr int OpenNoWait = O_NONBLOCK;
// A terminal never becomes the controlling one.
inline constexpr int OpenNotControlling = O_NOCTTY;
// A symbolic link at the name is not followed.
inline constexpr int OpenNoFollow = O_NOFOLLOW;
#endif

} // namespace tvk9
