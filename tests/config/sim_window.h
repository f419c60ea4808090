#pragma once

// The main window, scripted: its controls keep the toolkit behaviours the logic relies on,
// its modal boxes close after scripted delays with scripted answers while the loop runs
// underneath, and every event is forwarded to the logic as the real window does.

#include "config/connection_controller.h"
#include "config/window_bindings.h"
#include "config/window_ports.h"
#include "tests/config/sim_device.h"
#include "tests/config/sim_loop.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tvk9::sim {

class SimRadioButton : public RadioButton {
public:
    SimRadioButton(std::string name, std::function<void()> onClick)
        : name_(std::move(name)), onClick_(std::move(onClick)) {}
    // Buttons with the same parent exclude each other.
    void Pair(SimRadioButton& partner) {
        partner_ = &partner;
        partner.partner_ = this;
    }
    void Select() override;
    bool Selected() const override { return selected_; }
    const std::string& Name() const { return name_; }
    int Clicks() const { return clicks_; }

private:
    std::string name_;
    std::function<void()> onClick_;
    SimRadioButton* partner_ = nullptr;
    bool selected_ = false;
    int clicks_ = 0;
};

class SimComboBox : public ComboBox {
public:
    void Clear() override {
        items_.clear();
        index_ = -1;
    }
    void AddItems(const std::vector<std::string>& items) override {
        items_.insert(items_.end(), items.begin(), items.end());
    }
    int Count() const override { return static_cast<int>(items_.size()); }
    std::string Item(int index) const override {
        return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)]
                                             : std::string();
    }
    int ItemIndex() const override { return index_; }
    void SetItemIndex(int index) override { index_ = index >= 0 && index < Count() ? index : -1; }
    std::string Text() const override { return Item(index_); }
    const std::vector<std::string>& Items() const { return items_; }

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

class SimButton : public Button {
public:
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }

private:
    bool enabled_ = true;
};

class SimProgressBar : public ProgressBar {
public:
    explicit SimProgressBar(SimLoop& loop) : loop_(loop) {}
    void SetPosition(int position) override;
    int Position() const override { return position_; }
    // Every change of the position, with its moment.
    const std::vector<std::pair<Ms, int>>& History() const { return history_; }

private:
    SimLoop& loop_;
    int position_ = 0;
    std::vector<std::pair<Ms, int>> history_;
};

class SimEditBox : public EditBox {
public:
    void SetText(const std::string& text) override { text_ = text; }
    std::string Text() const override { return text_; }

private:
    std::string text_;
};

class SimLineBuffer : public LineBuffer {
public:
    void Clear() override { lines_.clear(); }
    void SetLines(const std::vector<std::string>& lines) override { lines_ = lines; }
    std::vector<std::string> Lines() const override { return lines_; }

private:
    std::vector<std::string> lines_;
};

// The status line, with every text it showed.
class SimStatusLine : public StatusLine {
public:
    void Show(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

enum class BoxKind { Confirm, Information, Error, OpenFile };

struct Box {
    BoxKind kind;
    std::string text; // the message, or the initial folder of the file dialog
    Ms openedAt;
    Ms closedAt = -1; // -1 while open
};

// Modal boxes that stay open for a scripted time, handling events underneath, then close with
// a scripted answer.
class SimDialogs : public Dialogs {
public:
    explicit SimDialogs(SimLoop& loop) : loop_(loop) {}

    struct Answer {
        Ms after = 0;
        bool ok = true;
    };
    struct FileAnswer {
        Ms after = 0;
        std::optional<std::string> path;
    };
    // Answers used in order; when they run out, a box closes at once (OK).
    std::deque<Answer> confirmAnswers;
    std::deque<Ms> messageDelays;
    std::deque<FileAnswer> fileAnswers;

    bool ConfirmOverwrite() override;
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::optional<std::string> OpenFile(const std::string& initialFolder) override;

    const std::vector<Box>& Boxes() const { return boxes_; }
    // The texts of the information and error boxes, in the order they opened.
    std::vector<std::string> Messages() const;
    int OpenBoxes() const;

private:
    std::size_t Open(BoxKind kind, const std::string& text);
    void RunOpen(std::size_t box, Ms after);

    SimLoop& loop_;
    std::vector<Box> boxes_;
};

// The whole window around one controller: the scripted device world is in `comm`, the
// system's port list in `ports`. Given a `link`, the controller talks to that instead.
class SimWindow {
public:
    explicit SimWindow(std::string programFolder = "/opt/tvk9/", char decimalSeparator = '.',
                       CommLink* link = nullptr);

    SimLoop loop;
    SimTimer Timer1{loop};
    SimTimer Timer2{loop};
    SimTimer Timer3{loop};
    SimComboBox ComSelect;
    SimButton AutoDetect;
    SimRadioButton Vertic;
    SimRadioButton Horizont;
    SimRadioButton pitchleft1;
    SimRadioButton pitchright1;
    SimRadioButton rollleft1;
    SimRadioButton rollright1;
    SimRadioButton yawleft1;
    SimRadioButton yawright1;
    SimProgressBar ProgressBar1{loop};
    SimEditBox FilePath;
    SimLineBuffer Memo2;
    SimDialogs dialogs{loop};
    SimSleeper sleeper{loop};
    SimComm comm{loop};
    SimPortLister ports;
    SimStatusLine status;
    ConnectionController ctl;

    // The window is shown (FormShow).
    void Show();
    // A user's action at the current moment, handled as the window handles an event.
    void User(const std::function<void()>& action) { loop.Dispatch(action); }
    // The user picks entry `index` of the port list.
    void PickPort(int index);
    // Lists `names` as the system's ports and makes them exist.
    void ListPorts(const std::vector<std::string>& names);

    // Which button of each group is selected: "Vertic", "Horizont", "pitchleft1", ... or "".
    std::string OrientationChoice() const;
    std::string PitchChoice() const;
    std::string RollChoice() const;
    std::string YawChoice() const;

    // The controller's handler that the form binds to that event of that control.
    std::function<void()> Bound(std::string_view source, WindowEvent event);
};

std::string Hex(std::span<const std::uint8_t> bytes);

} // namespace tvk9::sim
