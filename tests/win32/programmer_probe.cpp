// programmer_probe PROGRAM SCENARIO [SETTINGS_FILE]: starts tvk9-programmer.exe (PROGRAM) and
// plays a user from another process, reading and pressing its controls with messages only
// (WM_GETTEXT, BM_GETCHECK, CB_GETLBTEXT, BM_CLICK), as a screen reader or a test robot would:
//   found      the scan finds the sensor on COM7 and shows its settings; the settings file is
//              opened, Start is confirmed and the outcome is "Modify Successful!"
//   kept       COM8's sensor keeps its settings: Start, OK, "No Sucess!"; then a file that is
//              no settings file gives the escaping error's box
//   silent     COM9's sensor announces itself and never answers: "No response!"; the About
//              window, closed by Enter and by Escape
// Every check that fails prints a line "FAILED: ..."; the exit code is the number of them. The
// frames the sensors received are checked by the caller (tests/wine/programmer_test.sh).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    ++failures;
}

// Waits, looking every 50 ms, until `done` holds; false after `seconds`.
bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (done()) {
            return true;
        }
        ::Sleep(50);
    }
    return done();
}

std::string Narrow(const wchar_t* text) {
    char narrow[1024] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

std::string Text(HWND window) {
    wchar_t text[512] = {};
    ::SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

struct Child {
    HWND window;
    std::string className;
    LONG_PTR style;
    POINT at; // in the main window's client area
};

std::vector<Child> Children(HWND main) {
    std::vector<Child> children;
    struct Walk {
        HWND main;
        std::vector<Child>* out;
    } walk{main, &children};
    ::EnumChildWindows(
        main,
        [](HWND child, LPARAM data) -> BOOL {
            auto& w = *reinterpret_cast<Walk*>(data);
            RECT r{};
            ::GetWindowRect(child, &r);
            POINT at{r.left, r.top};
            ::ScreenToClient(w.main, &at);
            w.out->push_back({child, ClassOf(child), ::GetWindowLongPtrA(child, GWL_STYLE), at});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return children;
}

// The control of that class at that place of the client area, worked out by hand from the
// form: a control's left and top plus those of the group box and panel that hold it.
HWND At(const std::vector<Child>& children, const char* className, int left, int top) {
    for (const Child& c : children) {
        if (c.className == className && c.at.x == left && c.at.y == top) {
            return c.window;
        }
    }
    Fail(std::string("no ") + className + " at " + std::to_string(left) + "," +
         std::to_string(top));
    return nullptr;
}

HWND ButtonWithText(const std::vector<Child>& children, const std::string& text) {
    for (const Child& c : children) {
        if (c.className == "Button" && Text(c.window) == text) {
            return c.window;
        }
    }
    Fail("no button \"" + text + "\"");
    return nullptr;
}

struct Radios {
    HWND Vertic, Horizont, rollleft1, rollright1, pitchleft1, pitchright1, yawleft1, yawright1;
};

Radios FindRadios(const std::vector<Child>& c) {
    // GroupBox1 at (277, 147); GroupBox2 at (32, 147) with the rows at 2 and 38, 68, 97.
    return {At(c, "Button", 311, 195), At(c, "Button", 429, 195), At(c, "Button", 57, 193),
            At(c, "Button", 192, 193), At(c, "Button", 57, 223),  At(c, "Button", 192, 223),
            At(c, "Button", 57, 252),  At(c, "Button", 192, 252)};
}

// "1" for each checked button, in the order Vertic Horizont roll pitch yaw (NOR, REV each).
std::string Checks(const Radios& r) {
    std::string out;
    for (HWND b : {r.Vertic, r.Horizont, r.rollleft1, r.rollright1, r.pitchleft1, r.pitchright1,
                   r.yawleft1, r.yawright1}) {
        out += ::SendMessageA(b, BM_GETCHECK, 0, 0) == BST_CHECKED ? '1' : '0';
    }
    return out;
}

std::string SelectedPort(HWND combo) {
    const LRESULT index = ::SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return {};
    }
    wchar_t text[256] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

// A message box or dialog of the program, by its caption; its text is the static control of
// identifier 0xFFFF, as MessageBox makes it.
HWND WaitForBox(DWORD process, const char* caption, int seconds = 30) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = nullptr;
            for (HWND w = ::FindWindowExA(nullptr, nullptr, "#32770", caption); w != nullptr;
                 w = ::FindWindowExA(nullptr, w, "#32770", caption)) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(w, &owner);
                if (owner == process && ::IsWindowVisible(w)) {
                    found = w;
                }
            }
            return found != nullptr;
        },
        seconds);
    if (found == nullptr) {
        Fail(std::string("no box \"") + caption + "\"");
    }
    return found;
}

std::string BoxText(HWND box) {
    return box != nullptr ? Text(::GetDlgItem(box, 0xFFFF)) : std::string();
}

void Press(HWND box, int button) {
    if (box != nullptr) {
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
    }
}

void Expect(const std::string& what, const std::string& seen, const std::string& wanted) {
    if (seen != wanted) {
        Fail(what + ": \"" + seen + "\", not \"" + wanted + "\"");
    }
}

// Start, OK in the confirmation box, then the outcome box's text. A person presses Start later
// than the 500 ms after the query in which its answer is judged; a write within them would be
// judged at the query's time, before its own answer came.
std::string ConfirmedStart(DWORD process, HWND start) {
    ::Sleep(1000);
    ::PostMessageA(start, BM_CLICK, 0, 0);
    const HWND warning = WaitForBox(process, "WARNING");
    Expect("the confirmation", BoxText(warning),
           "Selecting OK will overwrite the current settings.");
    if (warning != nullptr &&
        (::GetDlgItem(warning, IDOK) == nullptr || ::GetDlgItem(warning, IDCANCEL) == nullptr)) {
        Fail("the confirmation has no OK and Cancel");
    }
    if (warning != nullptr && (::GetWindowLongPtrA(warning, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0) {
        Fail("the confirmation is not system-modal (on top of every window)");
    }
    Press(warning, IDOK);
    const HWND outcome = WaitForBox(process, "Information");
    const std::string text = BoxText(outcome);
    Press(outcome, IDOK);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: programmer_probe PROGRAM found|kept|silent [FILE]\n");
        return 100;
    }
    const std::string scenario = argv[2];
    std::string command = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &program)) {
        Fail("cannot start " + command);
        return failures;
    }
    HWND main = nullptr;
    // Shown once it is built whole.
    if (!WaitFor([&] {
            main = ::FindWindowA(nullptr, "TVK9 Programmer");
            return main != nullptr && ::IsWindowVisible(main);
        })) {
        Fail("no window \"TVK9 Programmer\"");
        ::TerminateProcess(program.hProcess, 99);
        return failures;
    }
    const std::vector<Child> children = Children(main);
    HWND combo = nullptr;
    HWND path = nullptr;
    for (const Child& c : children) {
        if (c.className == "ComboBox") {
            combo = c.window;
        } else if (c.className == "Edit" && (c.style & WS_VISIBLE) != 0) {
            path = c.window;
        }
    }
    const Radios radios = FindRadios(children);
    const HWND start = ButtonWithText(children, "Start");
    const HWND openFile = ButtonWithText(children, "Open File");
    Expect("the radio buttons at start", Checks(radios), "00000000");
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &thread);
    if (thread.hwndFocus != path) {
        Fail("the keyboard focus is not in the path box when the window opens");
    }

    const std::string port = scenario == "found" ? "COM7" : scenario == "kept" ? "COM8" : "COM9";
    if (!WaitFor([&] { return SelectedPort(combo) == port; })) {
        Fail("the port list shows \"" + SelectedPort(combo) + "\", not " + port);
    }
    if (scenario == "silent") {
        const HWND box = WaitForBox(program.dwProcessId, "Information");
        Expect("a silent sensor", BoxText(box), "No response!");
        Press(box, IDOK);
        Expect("the radio buttons after no answer", Checks(radios), "00000000");
    } else {
        // The sensor's 16, 5, 20, 11: horizontal (bit 0 clear), roll NOR, pitch REV, yaw NOR.
        if (!WaitFor([&] { return Checks(radios) != "00000000"; })) {
            Fail("no radio button shows the sensor's settings");
        }
        Expect("the radio buttons after the query", Checks(radios), "01100110");
    }
    if (scenario == "found" && argc > 3) {
        // The vendor's example file: vertical, roll 9 (REV), pitch 17 (NOR), yaw 20 (NOR).
        ::PostMessageA(openFile, BM_CLICK, 0, 0);
        const HWND dialog = WaitForBox(program.dwProcessId, "Open");
        HWND name = dialog != nullptr ? ::GetDlgItem(dialog, 0x47C) : nullptr; // cmb13
        if (name == nullptr && dialog != nullptr) {
            name = ::GetDlgItem(dialog, 0x480); // edt1
        }
        if (name != nullptr) {
            ::SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
            Press(dialog, IDOK);
        } else {
            Fail("the file dialog has no name box");
        }
        if (!WaitFor([&] { return Text(path) == argv[3]; })) {
            Fail("the path box shows \"" + Text(path) + "\"");
        }
        Expect("the radio buttons after the file", Checks(radios), "10011010");
    }
    if (scenario == "found") {
        Expect("the outcome", ConfirmedStart(program.dwProcessId, start), "Modify Successful!");
    } else if (scenario == "kept") {
        Expect("the outcome", ConfirmedStart(program.dwProcessId, start), "No Sucess!");
        if (argc > 3) {
            // File > Open (the menu's first item, Ctrl+O) with a first line that is no hex: the
            // codec's error escapes the handler into the box of the application's title.
            ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(101, 0), 0);
            const HWND dialog = WaitForBox(program.dwProcessId, "Open");
            ::SendMessageA(::GetDlgItem(dialog, 0x47C), WM_SETTEXT, 0,
                           reinterpret_cast<LPARAM>(argv[3]));
            Press(dialog, IDOK);
            const HWND error = WaitForBox(program.dwProcessId, "tvk9-programmer");
            Expect("the escaping error", BoxText(error), "Error: not a Hex String.");
            Press(error, IDOK);
        }
    } else {
        // Help > About, closed by Enter and, the second time, by Escape on its "ok" button.
        for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(103, 0), 0);
            HWND about = nullptr;
            if (!WaitFor(
                    [&] { return (about = ::FindWindowA(nullptr, "About TVK9")) != nullptr; })) {
                Fail("no window \"About TVK9\"");
                break;
            }
            std::string texts;
            for (const Child& c : Children(about)) {
                texts += "|" + Text(c.window);
            }
            Expect("the About window", texts,
                   "|ok|TVK9  Programmer V1.0|\xA9 2026 the TVK9 Programmer developers");
            if (::IsWindowEnabled(main)) {
                Fail("the main window takes input under the About window");
            }
            const HWND ok = ::GetWindow(about, GW_CHILD);
            ::PostMessageA(ok, WM_KEYDOWN, key, 0);
            if (!WaitFor([&] { return !::IsWindow(about); }, 10)) {
                Fail("the About window stays open after key " + std::to_string(key));
            }
        }
    }

    // Closing the window ends the program with exit code 0.
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(program.hProcess, 20000) != WAIT_OBJECT_0) {
        Fail("the program did not end after its window closed");
        ::TerminateProcess(program.hProcess, 99);
    }
    DWORD code = 0;
    ::GetExitCodeProcess(program.hProcess, &code);
    if (code != 0) {
        Fail("exit code " + std::to_string(code));
    }
    ::CloseHandle(program.hThread);
    ::CloseHandle(program.hProcess);
    std::printf("%s: %s\n", scenario.c_str(),
                failures == 0 ? "all checks passed" : "checks failed");
    return failures;
}
