// Program entry of tvk9-programmer.exe: the command line, the common controls, the main window
// and the message loop. Once the window has opened the program ends with exit code 0.

#include "app/guarded.h"
#include "app/win32/windows_main_window.h"
#include "app/win32/windows_program.h"

#include <commctrl.h>

#include <cstdlib>
#include <optional>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    // --help and --version are answered without a window.
    if (const std::optional<int> done = tvk9::win32::AnswerCommandLine(__argc, __argv)) {
        return *done;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    std::optional<tvk9::win32::MainWindow> Frm_Interface;
    tvk9::guarded([&] { Frm_Interface.emplace(); })();
    if (!Frm_Interface) {
        return 1; // the error box has said why
    }
    Frm_Interface->Show(show);
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!Frm_Interface->PreTranslate(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return 0;
}
