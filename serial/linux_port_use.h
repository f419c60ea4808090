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
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tvk9::linux_port {

// Where the kernel's lists of terminals, processes and consoles are read, and where lock files
// are: the system's own, unless a test gives folders of its own.
struct SystemRoots {
    std::filesystem::path proc = "/proc";
    std::filesystem::path sys = "/sys";
    std::vector<std::filesystem::path> lockFolders{"/run/lock", "/var/lock"};
};

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

// Whether a text of the kernel's tty driver list (/proc/tty/drivers: driver, node, major, then
// a minor or a range of minors "first-last", then the type) names the device's major with a
// minor that holds the device's. Lines that do not read so are passed over.
bool DriverListHolds(std::string_view drivers, dev_t device);

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

// The PID that the text of a UUCP lock file names: ten ASCII digits, right-aligned, and a
// newline; blanks before the number and anything after a blank that follows it are taken as
// other programs write them. nullopt when the text names no PID (empty, garbage, binary).
std::optional<pid_t> LockFilePid(std::string_view text);
// The text of our own lock file.
std::string LockFileText(pid_t pid);

// What stands at a lock file's name, looked at without following a link or waiting on a FIFO.
struct LockFound {
    enum class Kind {
        Absent,   // nothing
        File,     // a regular file, which names `pid` when it names one that can be read
        NotAFile, // a directory, a link or another kind of file: never removed, never followed
    };
    Kind kind = Kind::Absent;
    std::optional<pid_t> pid;
    dev_t device = 0; // File: the file it is, so that no other one is removed in its place
    ino_t inode = 0;
    std::string what; // NotAFile: "a directory", "a symbolic link", "no regular file"
};
LockFound ReadLockFile(const std::string& file);

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
    // What was passed over for the user to know: a stale lock file removed, or one (or a thing
    // that is no lock file) that could not be, so that the port is used without a lock of ours.
    std::string note;
};

// Whether another program uses the terminal device at `path` (`device`: its number): a process
// that has it open as `holders` last saw them, the kernel's console on it, or a live lock file,
// found out without opening it. When none does, `lock` is ours now (empty where no lock folder
// lets us write).
struct UseFound {
    bool inUse = false;
    OpenFacts facts; // the holder, the console, the lock file
    UucpLock lock;
    std::string note; // LockOutcome::note
};
UseFound FindUse(const std::string& path, dev_t device, const HolderLook& holders,
                 const SystemRoots& roots = {});

// Takes the lock of `device` (a resolved path). A lock file that names no running process is
// stale, whatever it holds (a PID that has ended, nothing, garbage, or it cannot be read): it is
// removed where we may remove it, else passed over, and the port is used without a lock of our
// own. So is a directory or a link at the name, which is never removed or followed. A lock of
// this very process is left to it (the exclusive open then decides).
LockOutcome TakeUucpLock(const std::string& device,
                         const std::vector<std::filesystem::path>& folders = {"/run/lock",
                                                                              "/var/lock"});

// All that is looked at before the port at `path` is opened, without opening it: that it is a
// terminal (stat and the kernel's driver list), and FindUse. `problem` is Kind::None when it may
// be opened; then `use` holds our lock, and `problem.detail` what was passed over (the note).
struct BeforeOpening {
    PortProblem problem;
    UseFound use;
};
BeforeOpening LookBeforeOpening(const std::string& path, const HolderLook& holders,
                                const SystemRoots& roots = {});

} // namespace tvk9::linux_port
