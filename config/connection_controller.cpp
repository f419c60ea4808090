#include "config/connection_controller.h"

#include "common/visible_text.h"

#include <algorithm>
#include <utility>

namespace tvk9 {

namespace {

constexpr int TimerStepPercent = 10;
constexpr int ProgressFull = 96; // the bar falls back once it reaches this

const std::string Waiting = "Waiting for the answer…";

} // namespace

ConnectionController::ConnectionController(const WindowParts& window, std::string programFolder,
                                           char decimalSeparator)
    : w_(window), programFolder_(std::move(programFolder)), decimalSeparator_(decimalSeparator) {}

// ---- finding the device ----

void ConnectionController::FormShow() {
    deviceFound_ = false;
    scanPortOpen_ = false;
    // The read length keeps the form's stored value, which is already the scanning one.
    w_.Comm1.SetInBufferSize(ScanBufferSize);
    FillPortList();
    w_.Timer2.SetEnabled(true);
    confirmOpen_ = false;
    SayScanStarts();
}

void ConnectionController::AutoDetectClick() {
    w_.ComSelect.Clear();
    UseProfile(ScanBufferSize);
    FillPortList();
    deviceFound_ = false;
    scanPortOpen_ = false;
    // A port in use stays open: the first step's open is refused and the second step closes it.
    w_.Timer2.SetEnabled(true);
    connection_.clear();
    portLost_ = false;
    SayScanStarts();
}

void ConnectionController::Timer2Timer() {
    if (deviceFound_) {
        // The device announced itself on the port of the last step: take that port into use.
        w_.Timer2.SetEnabled(false);
        w_.AutoDetect.SetEnabled(true);
        w_.Comm1.ClosePort();
        UseProfile(InUseBufferSize);
        w_.sleeper.Sleep(PortSettleMs);
        w_.Comm1.OpenPort();
        const std::string name = w_.Comm1.CommName();
        connection_.clear();
        portLost_ = false;
        if (!SayOpenFailure()) {
            connection_ = "Sensor found on " + WithDetails(name) + PassedOver();
            Say(connection_);
        }
        int match = -1;
        for (int i = 0; i < w_.ComSelect.Count(); ++i) {
            if (w_.ComSelect.Item(i) == name) {
                match = i; // the last of equal entries wins
            }
        }
        if (match >= 0) {
            w_.ComSelect.SetItemIndex(match);
        }
        w_.sleeper.Sleep(QueryDelayMs);
        ReadClick();
        return;
    }

    // One scan step: the passes run from the last entry to the first.
    if (scanPortOpen_) {
        w_.Comm1.ClosePort();
        w_.sleeper.Sleep(PortSettleMs);
        scanPortOpen_ = false;
    }
    w_.Comm1.SetCommName(scanIndex_ > 0 ? EntryText(scanIndex_ - 1) : std::string());
    w_.sleeper.Sleep(PortSettleMs);
    if (scanIndex_ > 0) {
        // May raise; the index is then unchanged and the next step tries the same entry.
        w_.Comm1.OpenPort();
        const std::size_t count = static_cast<std::size_t>(w_.ComSelect.Count());
        if (!SayOpenFailure()) {
            Say("Looking for the sensor: " + w_.Comm1.CommName() + " (" +
                std::to_string(count - scanIndex_ + 1) + " of " + std::to_string(count) + ")" +
                PassedOver());
        }
    } else {
        Say("No serial ports found");
    }
    scanPortOpen_ = true;
    w_.ComSelect.SetItemIndex(static_cast<int>(scanIndex_) - 1);
    if (scanIndex_ > 1) {
        --scanIndex_;
    } else {
        // The first entry has been tried: read the list afresh so that ports that came or went
        // count, and start the next pass at its end.
        w_.ComSelect.Clear();
        FillPortList();
        if (w_.ComSelect.Count() > 0) {
            w_.ComSelect.SetItemIndex(0);
        }
    }
    w_.AutoDetect.SetEnabled(false);
}

void ConnectionController::ComSelectSelect() {
    w_.Timer2.SetEnabled(false);
    w_.AutoDetect.SetEnabled(true);
    w_.Comm1.ClosePort();
    w_.Comm1.SetCommName(w_.ComSelect.Text());
    UseProfile(InUseBufferSize);
    w_.sleeper.Sleep(PortSettleMs);
    w_.Comm1.OpenPort();
    connection_.clear();
    portLost_ = false;
    if (!SayOpenFailure()) {
        connection_ = WithDetails(w_.Comm1.CommName()) + PassedOver();
        Say(connection_);
    }
    w_.sleeper.Sleep(QueryDelayMs);
    ReadClick();
    // The user's pick counts as found; no announcement is needed.
    deviceFound_ = true;
}

// ---- talking to the device ----

void ConnectionController::ReadClick() {
    const Frame query = QueryFrame;
    // Sending on a port that did not open queues nothing; that ends in "No response!".
    if (w_.Comm1.SendData(query)) {
        Say(connection_.empty() ? Waiting : connection_ + " — waiting for the answer…");
    }
    verifyWrite_ = false;
    writeYardstick_.reset();
    StartTimer1();
    queryPending_ = true;
}

void ConnectionController::Button3Click() {
    confirmOpen_ = true;
    bool confirmed = false;
    if (deviceFound_) {
        if (settingsRead_ && !fileLoaded_) {
            Say("Start would send 0 for the three scaled parameters: no settings file is loaded");
        }
        // Ticks and received data go on being handled while the box is up.
        confirmed = w_.dialogs.ConfirmOverwrite();
    }
    if (confirmed) {
        confirmOpen_ = false;
        const Frame frame = BuildSettingsFrame(settings_);
        if (w_.Comm1.SendData(frame)) {
            Say(Waiting);
        }
        verifyWrite_ = true;
        writeYardstick_.reset();
        StartTimer1();
        w_.Timer3.SetEnabled(true);
    }
    w_.ProgressBar1.SetPosition(0);
    confirmOpen_ = false;
}

void ConnectionController::Comm1ReceiveData(std::span<const std::uint8_t> block) {
    if (!deviceFound_) {
        // While scanning only the announcement counts.
        if (HasPresenceSignature(block)) {
            deviceFound_ = true;
        }
        return;
    }
    const auto report = FindReportFrame(block);
    if (!report) {
        return;
    }
    reported_ = *report;
    replyReceived_ = true;
    if (queryPending_) {
        queryPending_ = false;
        // After an unanswered query this may be a write's answer: adopting it must not
        // overwrite the values that the write is judged against.
        if (verifyWrite_ && !writeYardstick_) {
            writeYardstick_ = settings_;
        }
        ShowChoice(AdoptReport(reported_, settings_));
        settingsRead_ = true;
        Say(fileLoaded_ ? "Settings read from the sensor on " + w_.Comm1.CommName()
                        : "Settings read. No settings file: Start would send 0 for the three "
                          "scaled parameters");
    }
}

void ConnectionController::Timer1Timer() {
    w_.Timer1.SetEnabled(false);
    const std::string port = w_.Comm1.CommName();
    if (!replyReceived_) {
        // Under the Start confirmation the silence is not the user's concern yet.
        if (!confirmOpen_) {
            // A port that did not open, or that was lost, has said why already.
            if (!portLost_ && w_.Comm1.OpenProblem().kind == PortProblem::Kind::None) {
                Say("No answer from the sensor on " + port);
            }
            w_.dialogs.ShowInformation("No response!");
        }
    } else if (verifyWrite_) {
        const DeviceSettings expected = writeYardstick_.value_or(settings_);
        writeYardstick_.reset();
        Say(expected == reported_ ? "Settings written to the sensor on " + port + " and checked"
                                  : "The sensor on " + port + " kept other values than written");
        w_.dialogs.ShowInformation(expected == reported_ ? "Modify Successful!" : "No Sucess!");
    }
    replyReceived_ = false;
}

void ConnectionController::Timer3Timer() {
    w_.ProgressBar1.SetPosition(w_.ProgressBar1.Position() + TimerStepPercent);
    if (w_.ProgressBar1.Position() >= ProgressFull) {
        w_.Timer3.SetEnabled(false);
        w_.ProgressBar1.SetPosition(0);
    }
}

void ConnectionController::Comm1RequestHangup() {
    // The worker that asked has ended and nothing more comes from this port: closing it drops
    // its lock and puts its line back for whoever uses the port next.
    w_.Comm1.ClosePort();
    const bool connected = deviceFound_ && !w_.Timer2.Enabled();
    deviceFound_ = false;
    if (!connected) {
        return; // a scan goes on with its next step
    }
    // Start then asks nothing and sends nothing; the user looks for the sensor again.
    portLost_ = true;
    w_.AutoDetect.SetEnabled(true);
    // An unplugged port leaves the system's list; one whose worker gave up under a flood of
    // bytes stays in it.
    const std::vector<std::string> ports = w_.ports.ListSerialPorts();
    if (std::find(ports.begin(), ports.end(), w_.Comm1.CommName()) == ports.end()) {
        Say("The sensor's port went away (unplugged?) — plug it in and press AutoDetect");
    } else {
        Say("The sensor's port stopped working (flooded with data?) — press AutoDetect to find "
            "it again");
    }
}

// ---- radio buttons: each applies its value rule when its button becomes selected ----

void ConnectionController::VerticClick() {
    settings_.orientation = ChooseVertical(settings_.orientation);
}
void ConnectionController::HorizontClick() {
    settings_.orientation = ChooseHorizontal(settings_.orientation);
}
void ConnectionController::pitchleft1Click() {
    settings_.pitch = ChooseNor(settings_.pitch);
}
void ConnectionController::pitchright1Click() {
    settings_.pitch = ChooseRev(settings_.pitch);
}
void ConnectionController::rollleft1Click() {
    settings_.roll = ChooseNor(settings_.roll);
}
void ConnectionController::rollright1Click() {
    settings_.roll = ChooseRev(settings_.roll);
}
void ConnectionController::yawleft1Click() {
    settings_.yaw = ChooseNor(settings_.yaw);
}
void ConnectionController::yawright1Click() {
    settings_.yaw = ChooseRev(settings_.yaw);
}

// ---- helpers ----

void ConnectionController::FillPortList() {
    w_.ComSelect.AddItems(w_.ports.ListSerialPorts());
    scanIndex_ = static_cast<std::size_t>(w_.ComSelect.Count());
}

void ConnectionController::UseProfile(std::uint16_t size) {
    // The component refuses a read length above its buffer size, so the buffer comes first.
    w_.Comm1.SetInBufferSize(size);
    w_.Comm1.SetInputLen(size);
}

void ConnectionController::StartTimer1() {
    // A running Timer1 keeps its period: it is not restarted.
    w_.Timer1.SetInterval(Timer1Interval);
    w_.Timer1.SetEnabled(true);
}

void ConnectionController::ShowChoice(const RadioChoice& choice) {
    // Selecting a button that was not selected raises its handler, which applies its rule.
    (choice.orientation == Orientation::Vertical ? w_.Vertic : w_.Horizont).Select();
    (choice.pitch == AxisSide::Nor ? w_.pitchleft1 : w_.pitchright1).Select();
    (choice.roll == AxisSide::Nor ? w_.rollleft1 : w_.rollright1).Select();
    (choice.yaw == AxisSide::Nor ? w_.yawleft1 : w_.yawright1).Select();
}

void ConnectionController::Say(const std::string& text) {
    // Port names and what a device says of itself are free text: one line, nothing a control
    // character could rewrite.
    w_.status.Show(VisibleText(text));
}

void ConnectionController::SayScanStarts() {
    Say(w_.ComSelect.Count() > 0 ? "Looking for the sensor…" : "No serial ports found");
}

bool ConnectionController::SayOpenFailure() {
    const PortProblem problem = w_.Comm1.OpenProblem();
    if (problem.kind == PortProblem::Kind::None) {
        return false;
    }
    Say(problem.Line());
    return true;
}

std::string ConnectionController::PassedOver() const {
    const PortProblem opened = w_.Comm1.OpenProblem();
    return opened.kind == PortProblem::Kind::None && !opened.detail.empty() ? " — " + opened.detail
                                                                            : std::string();
}

std::string ConnectionController::WithDetails(const std::string& port) {
    const std::string details = w_.ports.PortDetails(port);
    return details.empty() ? port : port + " (" + details + ")";
}

std::string ConnectionController::EntryText(std::size_t index) const {
    return index < static_cast<std::size_t>(w_.ComSelect.Count())
               ? w_.ComSelect.Item(static_cast<int>(index))
               : std::string();
}

} // namespace tvk9
