#pragma once

// The window logic's view of the controls, implemented on Qt widgets. Each adapter refers to a
// widget the window owns and adds only what Qt does differently from the toolkit behaviour the
// logic relies on.

#include "config/window_ports.h"

#include <QComboBox>
#include <QRadioButton>
#include <QString>

#include <string>
#include <utility>
#include <vector>

class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class QWidget;

namespace tvk9 {

// Byte strings of the core and Qt's text, in the user's locale encoding.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// Qt's start() and setInterval() both restart an active timer; the logic expects enabling an
// enabled timer and setting the same interval to change nothing.
class QtTimer final : public Timer {
public:
    explicit QtTimer(QTimer& timer);
    void SetEnabled(bool enabled) override;
    bool Enabled() const override;
    void SetInterval(unsigned milliseconds) override;
    unsigned Interval() const override;

private:
    QTimer& timer_;
};

// The window binds the click handler to toggled(true), which fires for code and user alike and
// never for an already selected button. Within a group only the selected button is a tab stop;
// a group with none selected is skipped by Tab.
class QtRadioButton final : public RadioButton {
public:
    explicit QtRadioButton(QRadioButton& button);
    void Select() override;
    bool Selected() const override;

private:
    QRadioButton& button_;
};

// Binds a radio button's click handler: it runs when the button becomes selected, by the user
// or from code, and never for a button that was selected already or for one being unselected.
template <class Handler> void BindClick(QRadioButton& radio, QObject& context, Handler handler) {
    QObject::connect(&radio, &QRadioButton::toggled, &context,
                     [handler = std::move(handler)](bool selected) {
                         if (selected) {
                             handler();
                         }
                     });
}

// Binds the select event of a drop-down list: only a user's pick, by mouse or keyboard, raises
// it; nothing done from code does.
template <class Handler> void BindSelect(QComboBox& box, QObject& context, Handler handler) {
    QObject::connect(&box, &QComboBox::activated, &context,
                     [handler = std::move(handler)] { handler(); });
}

class QtComboBox final : public ComboBox {
public:
    explicit QtComboBox(QComboBox& box);
    void Clear() override;
    void AddItems(const std::vector<std::string>& items) override;
    int Count() const override;
    std::string Item(int index) const override;
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
    std::string Text() const override;

private:
    QComboBox& box_;
};

class QtButton final : public Button {
public:
    explicit QtButton(QAbstractButton& button);
    void SetEnabled(bool enabled) override;
    bool Enabled() const override;

private:
    QAbstractButton& button_;
};

class QtProgressBar final : public ProgressBar {
public:
    explicit QtProgressBar(QProgressBar& bar);
    void SetPosition(int position) override;
    int Position() const override;

private:
    QProgressBar& bar_;
};

class QtEditBox final : public EditBox {
public:
    explicit QtEditBox(QLineEdit& edit);
    void SetText(const std::string& text) override;
    std::string Text() const override;

private:
    QLineEdit& edit_;
};

// The lines live here byte for byte; the hidden text box shows them. A text document is no
// store for bytes: it folds some characters (a no-break space reads back as a blank).
class QtLineBuffer final : public LineBuffer {
public:
    explicit QtLineBuffer(QPlainTextEdit& memo);
    void Clear() override;
    void SetLines(const std::vector<std::string>& lines) override;
    std::vector<std::string> Lines() const override;

private:
    QPlainTextEdit& memo_;
    std::vector<std::string> lines_;
};

// Modal boxes owned by the main window; each runs a nested event loop, so timer ticks and
// received data go on being handled while it is open.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget& owner);
    bool ConfirmOverwrite() override;
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    // The desktop's own file dialog where the platform has one, Qt's otherwise. It is built
    // for each use and gone when it closes, with its completion list, its folder watcher and
    // its thread. `initialFolder`, the program's own folder, gives the starting folder by the
    // rule of DialogFolder.
    std::optional<std::string> OpenFile(const std::string& initialFolder) override;

private:
    QWidget& owner_;
};

// The operating system's sleep on the user-interface thread: nothing is handled meanwhile.
class QtSleeper final : public Sleeper {
public:
    void Sleep(unsigned milliseconds) override;
};

} // namespace tvk9
