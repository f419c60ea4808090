#pragma once

// The main window on Win32: its controls made from the stored form, the bindings of their events
// to the connection controller, and the window's own handlers. Made, used and destroyed on the
// user-interface thread; the program's message loop runs while it lives.

#include "app/win32/windows_adapters.h"
#include "app/win32/windows_notify_window.h"
#include "config/connection_controller.h"
#include "config/system_port_lister.h"
#include "config/tcomm_link.h"
#include "serial/comm.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

namespace tvk9::win32 {

// The menu items' command identifiers.
enum MenuCommand : WORD { Save1Command = 101, Exit2Command = 102, About1Command = 103 };

// The identifier of a control of the form: 1000 and its place in the form.
WORD ControlId(std::string_view name);

class MainWindow {
public:
    // `opener` opens Comm1's ports (tests may stand in for the system).
    explicit MainWindow(SerialPortOpener opener = OpenSystemSerialPort);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window as `show` asks (SW_SHOWNORMAL, SW_SHOWMAXIMIZED, ...); the first time,
    // the controller's FormShow runs.
    void Show(int show);

    // For the message loop: handles the keys of the window (Tab, arrows, Enter, the menu's
    // shortcuts) and says whether it took the message.
    bool PreTranslate(MSG& msg);

    HWND Handle() const { return window_; }
    HWND Control(std::string_view name) const { return controls_.at(name); }
    const ConnectionController& Controller() const { return *controller_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Layout(UINT dpi);
    void Command(WORD id, WORD code, HWND from);
    void FormCreate();
    void Save1Click();
    void Exit2Click();
    void About1Click();
    // The click handler of a radio button, as the form binds it.
    std::function<void()> Clicks(std::string_view radio);

    // Declared first: it outlives Comm1, which posts to it.
    WindowNotifyChannel notifyChannel_;
    HWND window_ = nullptr;
    HWND statusBar_ = nullptr;
    HFONT font_ = nullptr;
    HACCEL shortcuts_ = nullptr;
    UINT dpi_ = 96;
    SIZE frameSize_{}; // the window's fixed size at its density
    HWND lastFocus_ = nullptr;
    bool shown_ = false;
    std::map<std::string_view, HWND> controls_;
    TComm Comm1;

    // What the controller sees of the window; made once the controls exist.
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<ConnectionController> controller_;
};

} // namespace tvk9::win32
