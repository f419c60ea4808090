#pragma once

// The window logic's view of the controls, on Win32 controls (user32, comctl32, comdlg32). Each
// adapter refers to a control the window owns and adds only what Win32 does differently from the
// toolkit behaviour the logic relies on. Used on the user-interface thread; each lives as long
// as the window whose controls it refers to.

#include "app/dialog_folder.h"
#include "config/window_ports.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvk9::win32 {

// Text of the core (the ANSI code page) or of the program's own (UTF-8) as UTF-16 and back.
std::wstring Wide(std::string_view text, UINT codePage = CP_ACP);
std::string Narrow(std::wstring_view text, UINT codePage = CP_ACP);
// The controller's messages: UTF-8 where they are valid UTF-8, else the ANSI code page.
std::wstring WideMessage(std::string_view text);

// A caption's size: the stored one, grown to its text in `font` where that is wider or taller.
// The stored sizes fit "MS Sans Serif"; a wider stand-in font must not clip the text.
SIZE FitText(HWND label, HFONT font, const std::wstring& text, SIZE stored);

// Where a timer runs: SetTimer and KillTimer on a window, or a simulated clock in tests.
class TimerHost {
public:
    virtual ~TimerHost() = default;
    // Starts timer `id` afresh; one that runs already is replaced and starts again, as
    // SetTimer does with a timer of the same window and id.
    virtual void Start(UINT_PTR id, unsigned milliseconds) = 0;
    virtual void Stop(UINT_PTR id) = 0;
};

class WindowTimerHost final : public TimerHost {
public:
    explicit WindowTimerHost(HWND window) : window_(window) {}
    void Start(UINT_PTR id, unsigned milliseconds) override;
    void Stop(UINT_PTR id) override;

private:
    HWND window_;
};

// SetTimer restarts a running timer; the logic expects enabling an enabled timer and setting the
// same interval to change nothing. The ticks arrive as WM_TIMER with `id`, which Windows never
// queues up: a late timer ticks once.
class Win32Timer final : public Timer {
public:
    Win32Timer(TimerHost& host, UINT_PTR id) : host_(host), id_(id) {}
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(unsigned milliseconds) override;
    unsigned Interval() const override { return interval_; }
    UINT_PTR Id() const { return id_; }

private:
    TimerHost& host_;
    UINT_PTR id_;
    bool enabled_ = false;
    unsigned interval_ = 1000; // the toolkit's default
};

// A BS_RADIOBUTTON, which checks nothing by itself: BM_SETCHECK alone notifies nothing, so the
// adapter checks the button, unchecks its partner and raises the click handler itself, only when
// the button was not checked. A user's click (BN_CLICKED) goes the same way through Clicked().
// Only the checked button of a pair is a tab stop; a pair with none checked is skipped by Tab.
class Win32RadioButton final : public RadioButton {
public:
    Win32RadioButton(HWND button, std::function<void()> onClick);
    // Buttons of one pair exclude each other.
    void Pair(Win32RadioButton& partner);
    void Select() override;
    bool Selected() const override;
    void Clicked() { Select(); }
    HWND Handle() const { return button_; }

private:
    void SetChecked(bool checked);

    HWND button_;
    std::function<void()> onClick_;
    Win32RadioButton* partner_ = nullptr;
};

// A CBS_DROPDOWNLIST: CB_RESETCONTENT, CB_ADDSTRING and CB_SETCURSEL notify nothing; only a
// user's pick sends CBN_SELCHANGE.
class Win32ComboBox final : public ComboBox {
public:
    explicit Win32ComboBox(HWND box) : box_(box) {}
    void Clear() override;
    void AddItems(const std::vector<std::string>& items) override;
    int Count() const override;
    std::string Item(int index) const override;
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
    std::string Text() const override;

private:
    HWND box_;
};

class Win32Button final : public Button {
public:
    explicit Win32Button(HWND button) : button_(button) {}
    void SetEnabled(bool enabled) override;
    bool Enabled() const override;

private:
    HWND button_;
};

class Win32ProgressBar final : public ProgressBar {
public:
    explicit Win32ProgressBar(HWND bar) : bar_(bar) {}
    void SetPosition(int position) override;
    int Position() const override;

private:
    HWND bar_;
};

class Win32EditBox final : public EditBox {
public:
    explicit Win32EditBox(HWND edit) : edit_(edit) {}
    void SetText(const std::string& text) override;
    std::string Text() const override;

private:
    HWND edit_;
};

// The lines live here byte for byte; the hidden multi-line edit box shows them.
class Win32LineBuffer final : public LineBuffer {
public:
    explicit Win32LineBuffer(HWND memo) : memo_(memo) {}
    void Clear() override;
    void SetLines(const std::vector<std::string>& lines) override;
    std::vector<std::string> Lines() const override { return lines_; }

private:
    HWND memo_;
    std::vector<std::string> lines_;
};

// MessageBox and GetOpenFileName owned by the main window: each runs a nested message loop that
// dispatches WM_TIMER and posted messages, so ticks and received data go on being handled.
class Win32Dialogs final : public Dialogs {
public:
    explicit Win32Dialogs(HWND owner) : owner_(owner) {}
    bool ConfirmOverwrite() override;
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    // `initialFolder`, the program's own folder, gives the starting folder by the rule of
    // DialogFolder.
    std::optional<std::string> OpenFile(const std::string& initialFolder) override;

private:
    HWND owner_;
};

// Where an installed program keeps the folder of the last file opened: the value LastFolder of
// section FileDialog in %APPDATA%\TVK9 Programmer\tvk9-programmer.ini.
class Win32FolderMemory final : public FolderMemory {
public:
    explicit Win32FolderMemory(std::wstring iniFile = DefaultMemoryFile());
    std::string Recall() const override;
    void Keep(const std::string& folder) override;
    static std::wstring DefaultMemoryFile();

private:
    std::wstring iniFile_;
};

// A folder the user can write to: a file can be made in it (the access rights say so, not only
// the read-only attribute).
bool FolderWritable(const std::string& folder);

class Win32Sleeper final : public Sleeper {
public:
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
};

class Win32StatusLine final : public StatusLine {
public:
    explicit Win32StatusLine(HWND bar) : bar_(bar) {}
    void Show(const std::string& text) override;

private:
    HWND bar_;
};

} // namespace tvk9::win32
