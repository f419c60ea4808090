#include "app/win32/windows_program.h"

#include "app/guarded.h"
#include "app/program_text.h"
#include "common/command_line.h"
#include "common/error.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <string_view>
#include <vector>

namespace tvk9 {

void ShowErrorBox(const std::string& message) {
    // The active window owns it; without one it is modal to the program's windows all the same.
    const HWND owner = ::GetActiveWindow();
    ::MessageBoxA(owner, AsShown(message).c_str(), win32::ApplicationTitle().c_str(),
                  MB_OK | MB_ICONERROR | (owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL));
}

} // namespace tvk9

namespace tvk9::win32 {

namespace {

std::string ProgramPath() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return std::string(path.data(), length);
        }
        path.resize(path.size() * 2);
    }
}

const char* const MoreHelp =
    "\n"
    "File > Open starts in the program's folder. An installed program, whose folder the user\n"
    "cannot write to (Program Files), starts in the folder of the last settings file opened,\n"
    "kept in %APPDATA%\\TVK9 Programmer\\tvk9-programmer.ini, else in the user's folder.\n"
    "The regional settings' decimal separator is read in settings files (the full stop as well).\n"
    "\n"
    "Exit status: 0 when the window is closed; 2 for a wrong command line.\n";

// The console of the program that started this one, or the pipe or file it handed over.
class ParentOutput {
public:
    explicit ParentOutput(DWORD which) : handle_(::GetStdHandle(which)) {
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
            handle_ = nullptr;
            if (::AttachConsole(ATTACH_PARENT_PROCESS) || ::GetLastError() == ERROR_ACCESS_DENIED) {
                own_ = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
                handle_ = own_ != INVALID_HANDLE_VALUE ? own_ : nullptr;
            }
        }
    }
    ~ParentOutput() {
        if (own_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(own_);
        }
    }
    ParentOutput(const ParentOutput&) = delete;
    ParentOutput& operator=(const ParentOutput&) = delete;

    void Write(std::string_view text) const {
        while (handle_ != nullptr && !text.empty()) {
            DWORD written = 0;
            if (!::WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written,
                             nullptr) ||
                written == 0) {
                return;
            }
            text.remove_prefix(written);
        }
    }

private:
    HANDLE handle_;
    HANDLE own_ = INVALID_HANDLE_VALUE;
};

} // namespace

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string ApplicationTitle() {
    std::string title(ProgramStem(ProgramPath()));
    if (title.size() > 1) {
        ::CharLowerBuffA(title.data() + 1, static_cast<DWORD>(title.size() - 1));
    }
    return title;
}

std::optional<int> AnswerCommandLine(int argc, char** argv) {
    static constexpr std::array<OptionDef, 2> Options{
        {{"help", 'h', false}, {"version", 0, false}}};
    std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::string name(ProgramName);
    try {
        const ParsedArguments parsed = ParseArguments(args, Options);
        if (!parsed.operands.empty()) {
            throw Exception("unexpected argument \"" + parsed.operands.front() + "\"");
        }
        for (const ParsedOption& option : parsed.options) {
            const ParentOutput out(STD_OUTPUT_HANDLE);
            if (option.index == 0) {
                out.Write("Usage: " + name + " [options]\n" + std::string(ProgramDescription) +
                          "\n\nOptions:\n  -h, --help  Show this help and exit.\n"
                          "  --version   Show the version and exit.\n" +
                          MoreHelp);
            } else {
                out.Write(VersionLine(ProgramName) + "\n");
            }
            return 0;
        }
    } catch (const Exception& e) {
        ParentOutput(STD_ERROR_HANDLE).Write(name + ": " + e.what() + " (see --help)\n");
        return 2;
    }
    return std::nullopt;
}

} // namespace tvk9::win32
