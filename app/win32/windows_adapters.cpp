#include "app/win32/windows_adapters.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>

namespace tvk9::win32 {

std::wstring Wide(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(length, 0)), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring WideMessage(std::string_view text) {
    const bool utf8 =
        text.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                              static_cast<int>(text.size()), nullptr, 0) > 0;
    return Wide(text, utf8 ? CP_UTF8 : CP_ACP);
}

SIZE FitText(HWND label, HFONT font, const std::wstring& text, SIZE stored) {
    const HDC dc = ::GetDC(label);
    const HGDIOBJ before = ::SelectObject(dc, font);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ::SelectObject(dc, before);
    ::ReleaseDC(label, dc);
    return {std::max(stored.cx, extent.cx), std::max(stored.cy, extent.cy)};
}

namespace {

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

// ---- Timer

void WindowTimerHost::Start(UINT_PTR id, unsigned milliseconds) {
    ::SetTimer(window_, id, milliseconds, nullptr);
}

void WindowTimerHost::Stop(UINT_PTR id) {
    ::KillTimer(window_, id);
}

void Win32Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) {
        return; // a running timer is not restarted
    }
    enabled_ = enabled;
    if (enabled_ && interval_ > 0) {
        host_.Start(id_, interval_);
    } else if (!enabled_) {
        host_.Stop(id_);
    }
}

void Win32Timer::SetInterval(unsigned milliseconds) {
    if (milliseconds == interval_) {
        return;
    }
    interval_ = milliseconds;
    if (enabled_) {
        // A new interval starts the period afresh; none stops the ticks.
        if (interval_ > 0) {
            host_.Start(id_, interval_);
        } else {
            host_.Stop(id_);
        }
    }
}

// ---- Radio button

Win32RadioButton::Win32RadioButton(HWND button, std::function<void()> onClick)
    : button_(button), onClick_(std::move(onClick)) {
    SetChecked(Selected());
}

void Win32RadioButton::Pair(Win32RadioButton& partner) {
    partner_ = &partner;
    partner.partner_ = this;
}

bool Win32RadioButton::Selected() const {
    return ::SendMessageW(button_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32RadioButton::SetChecked(bool checked) {
    ::SendMessageW(button_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    const LONG_PTR style = ::GetWindowLongPtrW(button_, GWL_STYLE);
    ::SetWindowLongPtrW(button_, GWL_STYLE, checked ? style | WS_TABSTOP : style & ~WS_TABSTOP);
}

void Win32RadioButton::Select() {
    if (Selected()) {
        return;
    }
    if (partner_ != nullptr) {
        partner_->SetChecked(false); // unselecting raises nothing
    }
    SetChecked(true);
    if (onClick_) {
        onClick_();
    }
}

// ---- Combo box

void Win32ComboBox::Clear() {
    ::SendMessageA(box_, CB_RESETCONTENT, 0, 0);
}

void Win32ComboBox::AddItems(const std::vector<std::string>& items) {
    for (const std::string& item : items) {
        ::SendMessageA(box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
}

int Win32ComboBox::Count() const {
    return static_cast<int>(::SendMessageA(box_, CB_GETCOUNT, 0, 0));
}

std::string Win32ComboBox::Item(int index) const {
    const LRESULT length = ::SendMessageA(box_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied = ::SendMessageA(box_, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                          reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

int Win32ComboBox::ItemIndex() const {
    return static_cast<int>(::SendMessageA(box_, CB_GETCURSEL, 0, 0));
}

void Win32ComboBox::SetItemIndex(int index) {
    ::SendMessageA(box_, CB_SETCURSEL, index >= 0 && index < Count() ? index : -1, 0);
}

std::string Win32ComboBox::Text() const {
    return ItemIndex() >= 0 ? Item(ItemIndex()) : std::string();
}

// ---- Button, progress bar, edit box, line buffer, status line

void Win32Button::SetEnabled(bool enabled) {
    ::EnableWindow(button_, enabled ? TRUE : FALSE);
}

bool Win32Button::Enabled() const {
    return ::IsWindowEnabled(button_) != FALSE;
}

void Win32ProgressBar::SetPosition(int position) {
    ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, 100)), 0);
}

int Win32ProgressBar::Position() const {
    return static_cast<int>(::SendMessageW(bar_, PBM_GETPOS, 0, 0));
}

void Win32EditBox::SetText(const std::string& text) {
    ::SetWindowTextA(edit_, text.c_str());
}

std::string Win32EditBox::Text() const {
    return WindowText(edit_);
}

void Win32LineBuffer::Clear() {
    lines_.clear();
    ::SetWindowTextA(memo_, "");
}

void Win32LineBuffer::SetLines(const std::vector<std::string>& lines) {
    lines_ = lines;
    std::string text;
    for (const std::string& line : lines_) {
        text += (text.empty() ? "" : "\r\n") + line;
    }
    ::SetWindowTextA(memo_, text.c_str());
}

void Win32StatusLine::Show(const std::string& text) {
    const std::wstring line = WideMessage(text);
    ::SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

// ---- Dialogs

bool Win32Dialogs::ConfirmOverwrite() {
    return ::MessageBoxA(owner_, "Selecting OK will overwrite the current settings.", "WARNING",
                         MB_OKCANCEL | MB_ICONWARNING | MB_SYSTEMMODAL | MB_DEFBUTTON1) == IDOK;
}

void Win32Dialogs::ShowInformation(const std::string& text) {
    ::MessageBoxA(owner_, text.c_str(), "Information", MB_OK | MB_ICONINFORMATION);
}

void Win32Dialogs::ShowError(const std::string& text) {
    ::MessageBoxA(owner_, text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

namespace {

std::wstring Environment(const wchar_t* name) {
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

} // namespace

std::optional<std::string> Win32Dialogs::OpenFile(const std::string& initialFolder) {
    Win32FolderMemory memory;
    const DialogFolder folder(initialFolder, !FolderWritable(initialFolder), memory,
                              Narrow(Environment(L"USERPROFILE")));
    const std::string initial = folder.Initial();
    std::array<char, 32768> file{};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = initial.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameA(&dialog)) {
        return std::nullopt;
    }
    const std::string chosen(file.data());
    folder.Opened(chosen);
    return chosen;
}

// ---- Folder memory

Win32FolderMemory::Win32FolderMemory(std::wstring iniFile) : iniFile_(std::move(iniFile)) {}

std::wstring Win32FolderMemory::DefaultMemoryFile() {
    return Environment(L"APPDATA") + L"\\TVK9 Programmer\\tvk9-programmer.ini";
}

std::string Win32FolderMemory::Recall() const {
    std::array<wchar_t, 32768> folder{};
    ::GetPrivateProfileStringW(L"FileDialog", L"LastFolder", L"", folder.data(),
                               static_cast<DWORD>(folder.size()), iniFile_.c_str());
    const DWORD attributes = ::GetFileAttributesW(folder.data());
    const bool isFolder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return folder[0] != L'\0' && isFolder ? Narrow(folder.data()) : std::string();
}

void Win32FolderMemory::Keep(const std::string& folder) {
    const std::size_t end = iniFile_.find_last_of(L'\\');
    if (end != std::wstring::npos) {
        ::CreateDirectoryW(iniFile_.substr(0, end).c_str(), nullptr);
    }
    ::WritePrivateProfileStringW(L"FileDialog", L"LastFolder", Wide(folder).c_str(),
                                 iniFile_.c_str());
}

bool FolderWritable(const std::string& folder) {
    std::wstring probe = Wide(folder);
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/') {
        probe += L'\\';
    }
    probe += L"tvk9-write-check-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file); // and it is gone
    return true;
}

} // namespace tvk9::win32
