#pragma once

// The simulated device on a pseudo-terminal. The slave side is the port that programs open;
// a link in the port folder makes it known under a name. Opens and closes of the slave show as
// inotify events on its node (the master's hang-up confirms the last close), and packet mode on
// the master reports the program's input flushes, so the device sleeps in one poll() whether or
// not a program has the port open: the master, which reports a hang-up without end while no
// program has it, is watched only while one does.

#include "tools/devsim/device_model.h"

#include <filesystem>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace tvk9::devsim {

struct RunnerOptions {
    DeviceOptions device;
    std::string name = "TVK9-SIM";
    std::filesystem::path portFolder; // empty: the system's port folder, made if missing
    std::ostream* log = nullptr;      // frame log, one line per frame; nothing when null
};

// A file descriptor that closes itself.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset();

private:
    int fd_ = -1;
};

class PtyDevice {
public:
    // Opens the pseudo-terminal and registers the link. Throws tvk9::Exception when the name is
    // not usable or already taken by a running device, or when the system refuses.
    explicit PtyDevice(RunnerOptions options);
    // Removes the link (only if it is still ours) and the name's lock file.
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    const std::filesystem::path& LinkPath() const { return linkPath_; }

    enum class End { Stopped, Unplugged };
    // Serves the port until `stopFd` becomes readable, or until the device pulls its cable
    // (then the port is closed and the link is gone). Call once.
    End Run(int stopFd);

    // Closes the port under whoever has it open and removes the link; not while Run runs.
    void Close();

private:
    std::vector<std::uint32_t> ReadEvents();
    void HandleInotify(TimePoint now);
    void LetTheLastAnswerBeRead(int stopFd);
    void HandleMaster(short revents, TimePoint now);
    void Connect(TimePoint now);
    void Disconnect(TimePoint now);
    void Perform(const Action& action, TimePoint now);
    void Flush(TimePoint now);
    void Log(TimePoint now, std::string_view direction, const LogEntry& entry);
    void RemoveLink();
    // Whether the locked file is the one that bears the name in the folder.
    bool HoldsLockFile() const;

    RunnerOptions options_;
    DeviceModel model_;
    TimePoint start_;
    Fd master_;
    Fd inotify_;
    std::filesystem::path lockPath_;
    Fd nameLock_;
    std::string slavePath_;
    std::filesystem::path linkPath_;
    bool linked_ = false;
    bool connected_ = false;
    unsigned sessions_ = 0;  // counts connects and disconnects
    unsigned openFiles_ = 0; // slave opens seen minus closes seen
    Bytes pending_;          // bytes the slave's queue has not taken yet
    bool flooding_ = false;  // pending_ never runs dry until the program closes the port
};

} // namespace tvk9::devsim
