#include "app/win32/windows_about_window.h"

#include "app/form.h"
#include "app/guarded.h"
#include "app/win32/windows_adapters.h"

#include <commctrl.h>

#include <array>

namespace tvk9::win32 {

namespace {

constexpr wchar_t ClassName[] = L"TVK9AboutWindow";
constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

int Scaled(int pixels, UINT dpi) {
    return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

HFONT Tahoma(int pixels, UINT dpi) {
    return ::CreateFontW(-Scaled(pixels, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
}

// What one showing of the window holds; freed when it closes.
struct AboutState {
    bool open = true;
    std::array<HFONT, 3> fonts{}; // the window's, Label1's, Label2's
    ~AboutState() {
        for (HFONT font : fonts) {
            if (font != nullptr) {
                ::DeleteObject(font);
            }
        }
    }
};

LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<AboutState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (msg) {
    case WM_COMMAND:
        // Button1Click, Enter (its default identifier) and Escape (IDCANCEL) close it.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::SendMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
        if (state != nullptr) {
            state->open = false;
        }
        return 0;
    default:
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }
}

} // namespace

void ShowAboutWindow(HWND owner) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    ::RegisterClassExW(&windowClass); // registered already from the second time on

    AboutState state;
    const HWND window =
        ::CreateWindowExW(WS_EX_DLGMODALFRAME, ClassName, Wide(AboutCaption, CP_UTF8).c_str(),
                          Style, 0, 0, AboutWidth, AboutHeight, owner, nullptr, instance, nullptr);
    if (window == nullptr) {
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    const UINT dpi = ::GetDpiForWindow(window);
    state.fonts[0] = Tahoma(AboutFontPixels, dpi);
    const auto place = [dpi](HWND control, const Rect& rect) {
        ::SetWindowPos(control, nullptr, Scaled(rect.left, dpi), Scaled(rect.top, dpi),
                       Scaled(rect.width, dpi), Scaled(rect.height, dpi), SWP_NOZORDER);
    };
    const HWND button =
        ::CreateWindowExW(0, WC_BUTTONW, Wide(AboutButton.text, CP_UTF8).c_str(),
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, window,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDOK)), instance, nullptr);
    place(button, AboutButton.rect);
    ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(state.fonts[0]), FALSE);
    for (std::size_t i = 0; i < AboutLabels.size(); ++i) {
        const AboutLabelForm& form = AboutLabels[i];
        const HWND label =
            ::CreateWindowExW(0, L"STATIC", Wide(form.text, CP_UTF8).c_str(),
                              WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0,
                              window, nullptr, instance, nullptr);
        state.fonts[i + 1] = Tahoma(form.fontPixels, dpi);
        place(label, form.rect);
        const SIZE size = FitText(label, state.fonts[i + 1], Wide(form.text, CP_UTF8),
                                  {Scaled(form.rect.width, dpi), Scaled(form.rect.height, dpi)});
        ::SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(state.fonts[i + 1]), FALSE);
    }

    // Centred on the screen, its client area as stored.
    RECT frame{0, 0, Scaled(AboutWidth, dpi), Scaled(AboutHeight, dpi)};
    ::AdjustWindowRectExForDpi(&frame, Style, FALSE, WS_EX_DLGMODALFRAME, dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(
        ::MonitorFromWindow(owner != nullptr ? owner : window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER);

    // Modal: the owner takes no input until the window closes.
    if (owner != nullptr) {
        ::EnableWindow(owner, FALSE);
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SetFocus(button);
    MSG msg{};
    bool quit = false;
    while (state.open) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            break;
        }
        if (!::IsDialogMessageW(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (owner != nullptr) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
    if (quit) {
        ::PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop outside
    }
}

} // namespace tvk9::win32
