#pragma once

// What the main window's logic needs of the window around it. The Qt window implements these
// on its widgets; tests implement them on a simulated clock. Each mirrors one control or
// service and keeps the toolkit behaviour that the handlers rely on.

#include "serial/port_problem.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tvk9 {

// Enabling an enabled timer, or setting the interval it already has, does not restart it;
// enabling a disabled one or changing the interval of an enabled one starts it afresh.
// A late timer ticks once. The tick itself is delivered by the window to the logic.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(unsigned milliseconds) = 0;
    virtual unsigned Interval() const = 0;
};

// Selecting from code a button that was not selected unselects its group partner without an
// event and then raises the button's click handler, as a user's click does; selecting a
// selected button raises nothing.
class RadioButton {
public:
    virtual ~RadioButton() = default;
    virtual void Select() = 0;
    virtual bool Selected() const = 0;
};

// The port drop-down list. Nothing done from code raises the select event.
class ComboBox {
public:
    virtual ~ComboBox() = default;
    virtual void Clear() = 0;
    // Appends the names; leaves no entry selected when the list was empty before.
    virtual void AddItems(const std::vector<std::string>& items) = 0;
    virtual int Count() const = 0;
    virtual std::string Item(int index) const = 0;
    virtual int ItemIndex() const = 0;        // -1: nothing selected
    virtual void SetItemIndex(int index) = 0; // -1 selects nothing
    virtual std::string Text() const = 0;     // the selected entry, empty when none
};

class Button {
public:
    virtual ~Button() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual void SetPosition(int position) = 0;
    virtual int Position() const = 0;
};

class EditBox {
public:
    virtual ~EditBox() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() const = 0;
};

// The hidden text box that holds a settings file's lines.
class LineBuffer {
public:
    virtual ~LineBuffer() = default;
    virtual void Clear() = 0;
    virtual void SetLines(const std::vector<std::string>& lines) = 0;
    virtual std::vector<std::string> Lines() const = 0;
};

// Modal boxes. Each blocks the handler that opened it while ticks and received data go on
// being handled underneath.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // "Selecting OK will overwrite the current settings." under "WARNING"; true on OK.
    virtual bool ConfirmOverwrite() = 0;
    // Caption "Information", information icon, one OK button.
    virtual void ShowInformation(const std::string& text) = 0;
    // Caption "Error", error icon, one OK button ("Data Error!").
    virtual void ShowError(const std::string& text) = 0;
    // The file-open dialog, no filter; nothing when the user cancels.
    virtual std::optional<std::string> OpenFile(const std::string& initialFolder) = 0;
};

// Blocks the user-interface thread, as the operating system's sleep does.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void Sleep(unsigned milliseconds) = 0;
};

// The members of the serial port component that the window uses, and nothing else.
class CommLink {
public:
    virtual ~CommLink() = default;
    virtual void SetCommName(const std::string& name) = 0;
    virtual std::string CommName() const = 0;
    virtual void SetInBufferSize(std::uint16_t size) = 0;
    virtual void SetInputLen(std::uint16_t length) = 0;
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual bool SendData(std::span<const std::uint8_t> bytes) = 0;
    // Why the last OpenPort failed; Kind::None when it did not.
    virtual PortProblem OpenProblem() const = 0;
};

class PortLister {
public:
    virtual ~PortLister() = default;
    virtual std::vector<std::string> ListSerialPorts() = 0;
    // What the system knows of a port of the last list (its USB device); empty when nothing.
    virtual std::string PortDetails(const std::string& name) = 0;
    // The tooltip of the port's entry in the list: the details and the port's stable name, one
    // per line; empty when nothing is known.
    virtual std::string ToolTip(const std::string& name) = 0;
};

// One line below the window that says what the programmer is doing and what went wrong.
class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void Show(const std::string& text) = 0;
};

// The parts of the main window that its logic reaches, named as on the window. The window
// owns them all and outlives the logic that holds these references.
struct WindowParts {
    Timer& Timer1; // judges the answer to the last command
    Timer& Timer2; // port scan
    Timer& Timer3; // progress animation
    ComboBox& ComSelect;
    Button& AutoDetect;
    RadioButton& Vertic;
    RadioButton& Horizont;
    RadioButton& pitchleft1;  // NOR
    RadioButton& pitchright1; // REV
    RadioButton& rollleft1;
    RadioButton& rollright1;
    RadioButton& yawleft1;
    RadioButton& yawright1;
    ProgressBar& ProgressBar1;
    EditBox& FilePath;
    LineBuffer& Memo2;
    Dialogs& dialogs;
    Sleeper& sleeper;
    CommLink& Comm1;
    PortLister& ports;
    StatusLine& status;
};

} // namespace tvk9
