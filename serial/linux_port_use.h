#pragma once

// Whether another program uses a port, found out without opening it (an open raises DTR on
// real devices and is seen by whoever watches the node), and the UUCP lock file that tells
// terminal programs that we use it.

#include "serial/port_problem.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tvk9::linux_port {

// Whether the device is a terminal of some kind, by the kernel's list of tty drivers (so not
// by opening it). Without that list every character device counts as one.
bool IsTerminal(dev_t device, const std::filesystem::path& proc = "/proc");

// Which character devices the other processes have open, as far as /proc lets this user see:
// the user's own processes, all of them for root. A look walks the descriptors only of the
// processes that have run since the previous look (by their CPU clocks, which the scheduler
// brings up to date at least every tick): a process that has not run has opened and closed
// nothing. So the first look costs a few microseconds per descriptor in sight, and the next
// ones a fraction of one per process, whatever the idle ones hold. One thread at a time; a
// look that is not being refreshed may be read from several.
class HolderLook {
public:
    explicit HolderLook(std::filesystem::path proc = "/proc");
    ~HolderLook();
    HolderLook(HolderLook&& other) noexcept;
    HolderLook& operator=(HolderLook&& other) noexcept;
    HolderLook(const HolderLook&) = delete;
    HolderLook& operator=(const HolderLook&) = delete;

    // Brings the view up to date. Returns early, the view then incomplete, once `stop` is
    // requested.
    void Refresh(std::stop_token stop = {});
    // Another process (never this one) that had the device open at the last Refresh; the one
    // with the lowest PID when several have.
    std::optional<PortHolder> HolderOf(dev_t device) const;
    // Processes whose descriptors the last Refresh walked, and the descriptors: what it cost.
    std::size_t WalkedProcesses() const { return walkedProcesses_; }
    std::size_t WalkedDescriptors() const { return walkedDescriptors_; }

private:
    struct Process {
        clockid_t clock{};
        std::int64_t ran = -1;        // CPU time in ns when its descriptors were walked
        std::vector<dev_t> devices{}; // character devices among them
    };
    void Walk(pid_t pid, Process& process);

    std::filesystem::path proc_;
    int procFd_ = -1;
    std::map<pid_t, Process> processes_; // by PID, so the lowest holder is found first
    std::size_t walkedProcesses_ = 0;
    std::size_t walkedDescriptors_ = 0;
};

// One fresh look for one device.
std::optional<PortHolder> FindHolder(dev_t device, const std::filesystem::path& proc = "/proc");

// The program's name of a process; empty when not visible.
std::string ProgramOf(pid_t pid, const std::filesystem::path& proc = "/proc");

// Whether the device is an active console of the kernel. `name` is its path below /dev.
bool IsActiveConsole(const std::string& name, dev_t device,
                     const std::filesystem::path& proc = "/proc",
                     const std::filesystem::path& sys = "/sys");

// "ttyUSB0" for /dev/ttyUSB0, "pts_3" for /dev/pts/3; the file name elsewhere.
std::string NameBelowDev(const std::string& device);

// Who may open the device, for a refused permission.
OpenFacts AccessFacts(const std::string& path);

// A UUCP lock file (LCK..NAME holding the owner's PID as ten ASCII digits and a newline), as
// terminal programs take and honour them. The file goes when this object goes.
class UucpLock {
public:
    UucpLock() = default;
    explicit UucpLock(std::string path) : path_(std::move(path)) {}
    UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    UucpLock& operator=(UucpLock&& other) noexcept;
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;
    ~UucpLock();

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct LockOutcome {
    UucpLock lock;      // ours; empty where no lock folder lets us write
    std::string heldBy; // a live lock file of another process: the port is not free
    std::optional<PortHolder> holder;
};

// Whether another program uses the terminal device at `path` (`device`: its number): a process
// that has it open as `holders` last saw them, the kernel's console on it, or a live lock file,
// found out without opening it. When none does, `lock` is ours now (empty where no lock folder
// lets us write).
struct UseFound {
    bool inUse = false;
    OpenFacts facts; // the holder, the console, the lock file
    UucpLock lock;
};
UseFound FindUse(const std::string& path, dev_t device, const HolderLook& holders);

// Takes the lock of `device` (a resolved path). A lock whose process has died is removed; a
// lock of this very process is left to it (the exclusive open then decides).
LockOutcome TakeUucpLock(const std::string& device,
                         const std::vector<std::filesystem::path>& folders = {"/run/lock",
                                                                              "/var/lock"});

} // namespace tvk9::linux_port
