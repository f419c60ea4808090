#include "tests/config/sim_window.h"

#include <algorithm>
#include <cstdio>

namespace tvk9::sim {

void SimRadioButton::Select() {
    if (selected_) {
        return;
    }
    if (partner_ != nullptr) {
        partner_->selected_ = false; // unselecting raises nothing
    }
    selected_ = true;
    ++clicks_;
    if (onClick_) {
        onClick_();
    }
}

void SimProgressBar::SetPosition(int position) {
    position_ = std::clamp(position, 0, 100);
    history_.emplace_back(loop_.Now(), position_);
}

std::size_t SimDialogs::Open(BoxKind kind, const std::string& text) {
    boxes_.push_back({kind, text, loop_.Now()});
    return boxes_.size() - 1;
}

void SimDialogs::RunOpen(std::size_t box, Ms after) {
    // The nested loop of a modal box: ticks and received data go on being handled.
    loop_.RunUntil(loop_.Now() + after);
    boxes_[box].closedAt = loop_.Now();
}

bool SimDialogs::ConfirmOverwrite() {
    const std::size_t box =
        Open(BoxKind::Confirm, "Selecting OK will overwrite the current settings.");
    Answer answer;
    if (!confirmAnswers.empty()) {
        answer = confirmAnswers.front();
        confirmAnswers.pop_front();
    }
    RunOpen(box, answer.after);
    return answer.ok;
}

void SimDialogs::ShowInformation(const std::string& text) {
    const std::size_t box = Open(BoxKind::Information, text);
    Ms after = 0;
    if (!messageDelays.empty()) {
        after = messageDelays.front();
        messageDelays.pop_front();
    }
    RunOpen(box, after);
}

void SimDialogs::ShowError(const std::string& text) {
    const std::size_t box = Open(BoxKind::Error, text);
    Ms after = 0;
    if (!messageDelays.empty()) {
        after = messageDelays.front();
        messageDelays.pop_front();
    }
    RunOpen(box, after);
}

std::optional<std::string> SimDialogs::OpenFile(const std::string& initialFolder) {
    const std::size_t box = Open(BoxKind::OpenFile, initialFolder);
    FileAnswer answer;
    if (!fileAnswers.empty()) {
        answer = fileAnswers.front();
        fileAnswers.pop_front();
    }
    RunOpen(box, answer.after);
    return answer.path;
}

std::vector<std::string> SimDialogs::Messages() const {
    std::vector<std::string> out;
    for (const Box& b : boxes_) {
        if (b.kind == BoxKind::Information || b.kind == BoxKind::Error) {
            out.push_back(b.text);
        }
    }
    return out;
}

int SimDialogs::OpenBoxes() const {
    int n = 0;
    for (const Box& b : boxes_) {
        n += b.closedAt < 0 ? 1 : 0;
    }
    return n;
}

SimWindow::SimWindow(std::string programFolder, char decimalSeparator, CommLink* link)
    : Vertic("Vertic", Bound("Vertic", WindowEvent::Click)),
      Horizont("Horizont", Bound("Horizont", WindowEvent::Click)),
      pitchleft1("pitchleft1", Bound("pitchleft1", WindowEvent::Click)),
      pitchright1("pitchright1", Bound("pitchright1", WindowEvent::Click)),
      rollleft1("rollleft1", Bound("rollleft1", WindowEvent::Click)),
      rollright1("rollright1", Bound("rollright1", WindowEvent::Click)),
      yawleft1("yawleft1", Bound("yawleft1", WindowEvent::Click)),
      yawright1("yawright1", Bound("yawright1", WindowEvent::Click)),
      ctl(WindowParts{Timer1,
                      Timer2,
                      Timer3,
                      ComSelect,
                      AutoDetect,
                      Vertic,
                      Horizont,
                      pitchleft1,
                      pitchright1,
                      rollleft1,
                      rollright1,
                      yawleft1,
                      yawright1,
                      ProgressBar1,
                      FilePath,
                      Memo2,
                      dialogs,
                      sleeper,
                      link != nullptr ? *link : static_cast<CommLink&>(comm),
                      ports,
                      status},
          std::move(programFolder), decimalSeparator) {
    Vertic.Pair(Horizont);
    pitchleft1.Pair(pitchright1);
    rollleft1.Pair(rollright1);
    yawleft1.Pair(yawright1);
    Timer1.SetInterval(ConnectionController::Timer1Interval);
    Timer2.SetInterval(ConnectionController::Timer2Interval);
    Timer3.SetInterval(ConnectionController::Timer3Interval);
    Timer1.OnTick(Bound("Timer1", WindowEvent::Tick));
    Timer2.OnTick(Bound("Timer2", WindowEvent::Tick));
    Timer3.OnTick(Bound("Timer3", WindowEvent::Tick));
    comm.OnReceive([this](std::span<const std::uint8_t> block) { ctl.Comm1ReceiveData(block); });
    comm.OnHangup([this] { ctl.Comm1RequestHangup(); });
}

std::function<void()> SimWindow::Bound(std::string_view source, WindowEvent event) {
    void (ConnectionController::*handler)() = BoundHandler(source, event);
    return [this, handler] { (ctl.*handler)(); };
}

void SimWindow::Show() {
    User([this] { ctl.FormShow(); });
}

void SimWindow::PickPort(int index) {
    ComSelect.SetItemIndex(index);
    User(Bound("ComSelect", WindowEvent::Select));
}

void SimWindow::ListPorts(const std::vector<std::string>& names) {
    ports.ports = names;
    for (const auto& n : names) {
        comm.AddPort(n);
    }
}

namespace {
std::string ChoiceOf(const SimRadioButton& a, const SimRadioButton& b) {
    return a.Selected() ? a.Name() : b.Selected() ? b.Name() : std::string();
}
} // namespace

std::string SimWindow::OrientationChoice() const {
    return ChoiceOf(Vertic, Horizont);
}
std::string SimWindow::PitchChoice() const {
    return ChoiceOf(pitchleft1, pitchright1);
}
std::string SimWindow::RollChoice() const {
    return ChoiceOf(rollleft1, rollright1);
}
std::string SimWindow::YawChoice() const {
    return ChoiceOf(yawleft1, yawright1);
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

} // namespace tvk9::sim
