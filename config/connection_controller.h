#pragma once

// The logic of the main window TFrm_Interface: finding the device (port scan or the user's
// pick), querying it, showing its answer in the radio buttons, writing the settings and judging
// the device's answer, and opening a settings file. Every handler runs on the user-interface
// thread, one at a time; the window forwards each of its events to the handler of that name.

#include "config/frames.h"
#include "config/window_ports.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tvk9 {

class ConnectionController {
public:
    // Intervals the window gives its timers when it is built; all three start disabled.
    static constexpr unsigned Timer1Interval = 500; // one shot: judges the last command
    static constexpr unsigned Timer2Interval = 700; // one scan step
    static constexpr unsigned Timer3Interval = 10;  // one step of the progress bar

    // Receive buffer and read length of the port component while scanning and once a port is
    // taken into use. Sizes take effect at the next open.
    static constexpr std::uint16_t ScanBufferSize = 10;
    static constexpr std::uint16_t InUseBufferSize = 20;

    // Sleeps on the user-interface thread: around closing and opening a port, and between
    // opening a port and querying the device, which needs that long after an open.
    static constexpr unsigned PortSettleMs = 1;
    static constexpr unsigned QueryDelayMs = 500;

    // `programFolder` is the folder of the program's executable with a trailing '/': the file
    // dialog opens there. `decimalSeparator` is the user's, for the numbers in settings files.
    ConnectionController(const WindowParts& window, std::string programFolder,
                         char decimalSeparator);

    ConnectionController(const ConnectionController&) = delete;
    ConnectionController& operator=(const ConnectionController&) = delete;

    void FormShow();
    void AutoDetectClick();
    void Timer2Timer();
    void ComSelectSelect();
    void ReadClick();
    void Button3Click();
    void Comm1ReceiveData(std::span<const std::uint8_t> block);
    void Timer1Timer();
    void Timer3Timer();

    void VerticClick();
    void HorizontClick();
    void pitchleft1Click();
    void pitchright1Click();
    void rollleft1Click();
    void rollright1Click();
    void yawleft1Click();
    void yawright1Click();

    void OpenfileClick();
    // The port component's hang-up request (the device went away, or sent more than could be
    // taken): the port is closed. Once connected, the status line tells why and the device
    // counts as not found until AutoDetect or a pick finds it again; during a scan the scan
    // goes on.
    void Comm1RequestHangup();

    // What the next write sends, and what the device last reported.
    const DeviceSettings& Settings() const { return settings_; }
    const ReportedSettings& Reported() const { return reported_; }

    bool DeviceFound() const { return deviceFound_; }
    bool ScanPortOpen() const { return scanPortOpen_; }
    std::size_t ScanIndex() const { return scanIndex_; }
    bool ReplyReceived() const { return replyReceived_; }
    bool VerifyWrite() const { return verifyWrite_; }
    bool ConfirmOpen() const { return confirmOpen_; }
    bool QueryPending() const { return queryPending_; }

private:
    void FillPortList();
    void UseProfile(std::uint16_t size);
    void StartTimer1();
    void ShowChoice(const RadioChoice& choice);
    std::string EntryText(std::size_t index) const;
    // The status line; the handlers' described behaviour does not depend on it.
    void Say(const std::string& text);
    void SayScanStarts();
    // Says why the last open failed and returns true, or returns false.
    bool SayOpenFailure();
    // " — " and what the last open, which succeeded, passed over (a stale lock file); empty
    // when nothing was.
    std::string PassedOver() const;
    std::string WithDetails(const std::string& port);

    WindowParts w_;
    std::string programFolder_;
    char decimalSeparator_;

    DeviceSettings settings_{};
    ReportedSettings reported_{};

    bool deviceFound_ = false;
    bool scanPortOpen_ = false;
    // Entries of the current pass not yet tried. As wide as the list: every entry of a long
    // list is tried.
    std::size_t scanIndex_ = 0;
    bool replyReceived_ = false;
    bool verifyWrite_ = false;
    bool confirmOpen_ = false;
    bool queryPending_ = false;
    // What a write is judged against when its answer was adopted as a pending query's: the
    // settings as they stood before the adoption.
    std::optional<DeviceSettings> writeYardstick_;

    // For the status line only.
    std::string connection_; // the port taken into use, with what is known of it
    bool settingsRead_ = false;
    bool fileLoaded_ = false;
    bool portLost_ = false; // a hang-up closed the port in use
};

} // namespace tvk9
