#pragma once

// The About window of the Help menu on Win32: made afresh for each request, shown modally,
// centred on the screen, and gone when it closes. Runs on the user-interface thread.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tvk9::win32 {

// Shows the About window over `owner`, which takes no input meanwhile, and returns once it is
// closed: by its "ok" button, Enter, Space on the button, Escape, the close box or the system
// menu. Its own loop dispatches the thread's other messages (timer ticks, received data).
void ShowAboutWindow(HWND owner);

} // namespace tvk9::win32
