#include "app/win32/windows_main_window.h"

#include "app/form.h"
#include "app/guarded.h"
#include "app/win32/windows_about_window.h"
#include "app/win32/windows_program.h"
#include "config/window_bindings.h"
#include "tools/settings/decimal_separator.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <stdexcept>

namespace tvk9::win32 {

namespace {

constexpr wchar_t ClassName[] = L"TVK9ProgrammerWindow";
constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr UINT_PTR PortListWheel = 1; // the subclass of the port list

int Scaled(int pixels, UINT dpi) {
    return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

std::wstring Latin1(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

// The wheel turns the port list only while the list has the keyboard focus: a turn over it on
// the way elsewhere would stop the scan and take that port.
LRESULT CALLBACK WheelOnlyWithFocus(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
    if (msg == WM_MOUSEWHEEL && ::GetFocus() != window) {
        return 0;
    }
    return ::DefSubclassProc(window, msg, wParam, lParam);
}

struct ClassOf {
    const wchar_t* name;
    DWORD style;
    DWORD extended;
};

// The Win32 control that stands for each kind of the form. Radio buttons are no tab stops
// until one of their pair is selected; the second of a pair starts no group.
ClassOf Win32Class(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return {L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0};
    case ControlKind::DropDownList:
        return {WC_COMBOBOXW, CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::PushButton:
        return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::EditBox:
        return {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::GroupBox:
        return {WC_BUTTONW, BS_GROUPBOX, WS_EX_TRANSPARENT};
    case ControlKind::RadioButton:
        return {WC_BUTTONW, BS_RADIOBUTTON, 0};
    case ControlKind::ProgressBar:
        return {PROGRESS_CLASSW, 0, 0};
    case ControlKind::ToolButton:
        return {WC_BUTTONW, BS_PUSHBUTTON, 0};
    case ControlKind::Memo:
        return {WC_EDITW, ES_MULTILINE | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::Panel:
        break;
    }
    return {nullptr, 0, 0};
}

} // namespace

WORD ControlId(std::string_view name) {
    const auto index = &FormControl(name) - MainForm.data();
    return static_cast<WORD>(1000 + index);
}

struct MainWindow::Parts {
    explicit Parts(MainWindow& w)
        : timers(w.window_), Timer1(timers, 1), Timer2(timers, 2), Timer3(timers, 3),
          ComSelect(w.Control("ComSelect")), AutoDetect(w.Control("AutoDetect")),
          Vertic(w.Control("Vertic"), w.Clicks("Vertic")),
          Horizont(w.Control("Horizont"), w.Clicks("Horizont")),
          pitchleft1(w.Control("pitchleft1"), w.Clicks("pitchleft1")),
          pitchright1(w.Control("pitchright1"), w.Clicks("pitchright1")),
          rollleft1(w.Control("rollleft1"), w.Clicks("rollleft1")),
          rollright1(w.Control("rollright1"), w.Clicks("rollright1")),
          yawleft1(w.Control("yawleft1"), w.Clicks("yawleft1")),
          yawright1(w.Control("yawright1"), w.Clicks("yawright1")),
          ProgressBar1(w.Control("ProgressBar1")), FilePath(w.Control("FilePath")),
          Memo2(w.Control("Memo2")), dialogs(w.window_), comm(w.Comm1), status(w.statusBar_) {
        Vertic.Pair(Horizont);
        pitchleft1.Pair(pitchright1);
        rollleft1.Pair(rollright1);
        yawleft1.Pair(yawright1);
    }

    Win32Timer* TimerById(UINT_PTR id) {
        for (Win32Timer* timer : {&Timer1, &Timer2, &Timer3}) {
            if (timer->Id() == id) {
                return timer;
            }
        }
        return nullptr;
    }
    Win32RadioButton* Radio(HWND button) {
        for (Win32RadioButton* radio : {&Vertic, &Horizont, &pitchleft1, &pitchright1, &rollleft1,
                                        &rollright1, &yawleft1, &yawright1}) {
            if (radio->Handle() == button) {
                return radio;
            }
        }
        return nullptr;
    }

    WindowTimerHost timers;
    Win32Timer Timer1;
    Win32Timer Timer2;
    Win32Timer Timer3;
    Win32ComboBox ComSelect;
    Win32Button AutoDetect;
    Win32RadioButton Vertic;
    Win32RadioButton Horizont;
    Win32RadioButton pitchleft1;
    Win32RadioButton pitchright1;
    Win32RadioButton rollleft1;
    Win32RadioButton rollright1;
    Win32RadioButton yawleft1;
    Win32RadioButton yawright1;
    Win32ProgressBar ProgressBar1;
    Win32EditBox FilePath;
    Win32LineBuffer Memo2;
    Win32Dialogs dialogs;
    Win32Sleeper sleeper;
    TCommLink comm;
    SystemPortLister ports;
    Win32StatusLine status;
};

std::function<void()> MainWindow::Clicks(std::string_view radio) {
    void (ConnectionController::*handler)() = BoundHandler(radio, WindowEvent::Click);
    return [this, handler] { (controller_.get()->*handler)(); };
}

MainWindow::MainWindow(SerialPortOpener opener) : Comm1(notifyChannel_, std::move(opener)) {
    notifyChannel_.Attach(Comm1);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    ::RegisterClassExW(&windowClass);

    const HMENU menu = ::CreateMenu();
    HMENU current = nullptr;
    for (const MenuItemForm& item : MainMenu) {
        if (item.menu.empty()) {
            current = ::CreatePopupMenu();
            ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(current),
                          Latin1(item.text).c_str());
            continue;
        }
        const WORD id = item.name == "Save1"   ? Save1Command
                        : item.name == "Exit2" ? Exit2Command
                                               : About1Command;
        const std::wstring keys = id == Save1Command   ? L"\tCtrl+O"
                                  : id == Exit2Command ? L"\tCtrl+Q"
                                                       : L"";
        ::AppendMenuW(current, MF_STRING, id, (Latin1(item.text) + keys).c_str());
    }
    ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', Save1Command},
                    {FCONTROL | FVIRTKEY, 'Q', Exit2Command}};
    shortcuts_ = ::CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));

    window_ =
        ::CreateWindowExW(0, ClassName, Latin1(MainCaption).c_str(), Style, CW_USEDEFAULT,
                          CW_USEDEFAULT, ClientWidth, ClientHeight, nullptr, menu, instance, this);
    if (window_ == nullptr) {
        throw std::runtime_error("the main window cannot be made (error " +
                                 std::to_string(::GetLastError()) + ")");
    }
    CreateControls();
    ApplyStoredSettings(Comm1);
    parts_ = std::make_unique<Parts>(*this);
    controller_ = std::make_unique<ConnectionController>(
        WindowParts{parts_->Timer1,    parts_->Timer2,       parts_->Timer3,
                    parts_->ComSelect, parts_->AutoDetect,   parts_->Vertic,
                    parts_->Horizont,  parts_->pitchleft1,   parts_->pitchright1,
                    parts_->rollleft1, parts_->rollright1,   parts_->yawleft1,
                    parts_->yawright1, parts_->ProgressBar1, parts_->FilePath,
                    parts_->Memo2,     parts_->dialogs,      parts_->sleeper,
                    parts_->comm,      parts_->ports,        parts_->status},
        ProgramFolder(), RegionalDecimalSeparator());
    parts_->Timer1.SetInterval(ConnectionController::Timer1Interval);
    parts_->Timer2.SetInterval(ConnectionController::Timer2Interval);
    parts_->Timer3.SetInterval(ConnectionController::Timer3Interval);
    ConnectionController& c = *controller_;
    Comm1.OnReceiveData = guarded([&c](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        c.Comm1ReceiveData(std::span<const std::uint8_t>(buffer, length));
    });
    Comm1.OnRequestHangup = guarded([&c](TComm&) { c.Comm1RequestHangup(); });
    FormCreate();
}

MainWindow::~MainWindow() {
    if (window_ != nullptr && ::IsWindow(window_)) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
    if (font_ != nullptr) {
        ::DeleteObject(font_);
    }
    if (shortcuts_ != nullptr) {
        ::DestroyAcceleratorTable(shortcuts_);
    }
}

void MainWindow::CreateControls() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto make = [&](const ControlForm& form) {
        const ClassOf kind = Win32Class(form.kind);
        if (kind.name == nullptr) {
            return; // a panel only groups its radio buttons, which WS_GROUP does here
        }
        // Each control but the second of a radio pair starts a group of its own, so the arrow
        // keys move within a pair and nowhere else.
        const bool second = form.kind == ControlKind::RadioButton &&
                            (form.name == "Vertic" || form.name == "yawright1" ||
                             form.name == "rollleft1" || form.name == "pitchright1");
        const DWORD style =
            WS_CHILD | kind.style | (form.hidden ? 0 : WS_VISIBLE) | (second ? 0 : WS_GROUP);
        const HWND control = ::CreateWindowExW(
            kind.extended, kind.name,
            form.kind == ControlKind::RadioButton ? L"" : Latin1(form.text).c_str(), style, 0, 0, 0,
            0, window_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ControlId(form.name))),
            instance, nullptr);
        controls_.emplace(form.name, control);
    };
    // Creation order is the keyboard order; captions and frames come after the controls they
    // name or hold, so these are drawn on top of them.
    for (std::string_view name : KeyboardOrder) {
        make(FormControl(name));
    }
    for (const ControlForm& form : MainForm) {
        if (!controls_.contains(form.name)) {
            make(form);
        }
    }
    statusBar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                   window_, nullptr, instance, nullptr);

    const HWND ports = Control("ComSelect");
    ::SendMessageW(ports, CB_SETMINVISIBLE, PortListVisibleItems, 0);
    ::SetWindowSubclass(ports, WheelOnlyWithFocus, PortListWheel, 0);
    ::SendMessageW(Control("ProgressBar1"), PBM_SETRANGE32, 0, 100);
    ::SendMessageW(Control("ProgressBar1"), PBM_SETPOS, 0, 0);

    dpi_ = ::GetDpiForWindow(window_);
    Layout(dpi_);
    // Centred on the work area of its monitor.
    RECT frame{};
    ::GetWindowRect(window_, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Layout(UINT dpi) {
    // "MS Sans Serif" 8 pt; Windows maps it to Microsoft Sans Serif.
    const HFONT font =
        ::CreateFontW(-Scaled(WindowFontPixels, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
    for (const auto& [name, control] : controls_) {
        const ControlForm& form = FormControl(name);
        const Rect place = InClientArea(form);
        SIZE size{Scaled(place.width, dpi), Scaled(place.height, dpi)};
        if (form.kind == ControlKind::Label) {
            size = FitText(control, font, Latin1(form.text), size);
        }
        ::SetWindowPos(control, nullptr, Scaled(place.left, dpi), Scaled(place.top, dpi), size.cx,
                       size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ::SendMessageW(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(Control("ComSelect"), CB_SETITEMHEIGHT, 0, Scaled(PortListItemHeight, dpi));
    if (font_ != nullptr) {
        ::DeleteObject(font_);
    }
    font_ = font;

    // The client area holds the form; the status bar adds its height below it.
    ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT bar{};
    ::GetWindowRect(statusBar_, &bar);
    RECT frame{0, 0, Scaled(ClientWidth, dpi), Scaled(ClientHeight, dpi) + (bar.bottom - bar.top)};
    ::AdjustWindowRectExForDpi(&frame, Style, TRUE, 0, dpi);
    frameSize_ = {frame.right - frame.left, frame.bottom - frame.top};
    ::SetWindowPos(window_, nullptr, 0, 0, frameSize_.cx, frameSize_.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void MainWindow::FormCreate() {
    const HWND bar = Control("ProgressBar1");
    // Visual styles draw the bar in the theme's colour: without them it takes the colours.
    ::SetWindowTheme(bar, L"", L"");
    ::SendMessageW(bar, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(ProgressBackgroundColour));
    ::SendMessageW(bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ProgressBarColour));
}

void MainWindow::Show(int show) {
    ::ShowWindow(window_, show);
    ::UpdateWindow(window_);
    if (!shown_) {
        shown_ = true;
        ::SetFocus(Control("FilePath"));
        guarded([this] { controller_->FormShow(); })();
    }
}

bool MainWindow::PreTranslate(MSG& msg) {
    if (window_ == nullptr || !::IsWindow(window_)) {
        return false;
    }
    if (shortcuts_ != nullptr && ::TranslateAcceleratorW(window_, shortcuts_, &msg)) {
        return true;
    }
    return ::IsDialogMessageW(window_, &msg) != FALSE;
}

void MainWindow::Command(WORD id, WORD code, HWND from) {
    if (from == nullptr) { // the menu or its shortcuts
        switch (id) {
        case Save1Command:
            Save1Click();
            break;
        case Exit2Command:
            Exit2Click();
            break;
        case About1Command:
            About1Click();
            break;
        default:
            break;
        }
        return;
    }
    if (id < 1000 || id >= 1000 + MainForm.size()) {
        return;
    }
    const ControlForm& form = MainForm[id - 1000u];
    if (form.kind == ControlKind::RadioButton && code == BN_CLICKED) {
        if (Win32RadioButton* radio = parts_->Radio(from)) {
            radio->Clicked();
        }
        return;
    }
    const WindowEvent event =
        form.kind == ControlKind::DropDownList ? WindowEvent::Select : WindowEvent::Click;
    const WORD expected = event == WindowEvent::Select ? CBN_SELCHANGE : BN_CLICKED;
    if (code != expected) {
        return;
    }
    if (void(ConnectionController::*handler)() = BoundHandler(form.name, event)) {
        (controller_.get()->*handler)();
    }
}

void MainWindow::Save1Click() {
    // A click of the Openfile button, which runs its handler as the user's click does.
    ::SendMessageW(Control("Openfile"), BM_CLICK, 0, 0);
}

void MainWindow::Exit2Click() {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::About1Click() {
    ShowAboutWindow(window_);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }
    LRESULT result = 0;
    // Exceptions never unwind through a Win32 frame.
    guarded([&] { result = self->Handle(msg, wParam, lParam); })();
    return result;
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        if (controller_ != nullptr) {
            Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        }
        return 0;
    case WM_TIMER:
        if (parts_ != nullptr) {
            if (Win32Timer* timer = parts_->TimerById(wParam);
                timer != nullptr && timer->Enabled()) {
                const std::string name = "Timer" + std::to_string(wParam);
                (controller_.get()->*BoundHandler(name, WindowEvent::Tick))();
            }
        }
        return 0;
    case DM_GETDEFID: {
        // Enter presses the push button that has the focus.
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::GetParent(focus) == window_ &&
            (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) &
             (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
            return MAKELRESULT(::GetDlgCtrlID(focus), DC_HASDEFID);
        }
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            lastFocus_ = focus != nullptr && ::IsChild(window_, focus) ? focus : lastFocus_;
        } else if (shown_) {
            ::SetFocus(lastFocus_ != nullptr ? lastFocus_ : Control("FilePath"));
        }
        return 0;
    case WM_GETMINMAXINFO: {
        // The border cannot resize it, nor can maximising.
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        if (frameSize_.cx > 0) {
            const POINT size{frameSize_.cx, frameSize_.cy};
            limits->ptMinTrackSize = limits->ptMaxTrackSize = limits->ptMaxSize = size;
        }
        return 0;
    }
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Layout(dpi_);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window_, msg, wParam, lParam);
    }
}

} // namespace tvk9::win32
