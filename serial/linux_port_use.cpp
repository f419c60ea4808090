#include "serial/linux_port_use.h"

#include "common/visible_text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <limits>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tvk9::linux_port {

namespace fs = std::filesystem;

namespace {

std::optional<pid_t> PidOf(const char* name) {
    char* end = nullptr;
    const long value = std::strtol(name, &end, 10);
    if (end == name || *end != '\0' || value <= 0)
        return std::nullopt;
    return static_cast<pid_t>(value);
}

// The folder is read straight from its descriptor (a DIR stream would cost a dup, a stat and
// two fcntl per process). Each descriptor's link is followed to what it has open; nothing is
// opened. Returns how many there were.
std::size_t CharDevicesIn(int fdDir, std::vector<dev_t>& devices) {
    alignas(dirent64) char entries[8192];
    std::size_t count = 0;
    for (;;) {
        const ssize_t length = ::getdents64(fdDir, entries, sizeof entries);
        if (length <= 0)
            return count;
        for (ssize_t at = 0; at < length;) {
            const auto* e = reinterpret_cast<const dirent64*>(entries + at);
            at += e->d_reclen;
            if (e->d_name[0] == '.')
                continue;
            ++count;
            struct stat st {};
            if (::fstatat(fdDir, e->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) &&
                std::find(devices.begin(), devices.end(), st.st_rdev) == devices.end())
                devices.push_back(st.st_rdev);
        }
    }
}

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number of at most ten decimal digits alone, as large as a device or process number gets.
std::optional<std::uint32_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

// "serial   /dev/ttyS   4 64-95 serial": the major and minors follow the node, which the
// kernel writes as /dev/NAME (a driver's own name may have blanks, or be a /dev path too).
bool LineHolds(std::string_view line, unsigned major, unsigned minor) {
    const std::vector<std::string_view> words = Words(line);
    for (std::size_t i = 1; i + 2 < words.size(); ++i) {
        if (!words[i].starts_with("/dev/"))
            continue;
        const std::optional<std::uint32_t> listed = Decimal(words[i + 1]);
        const std::string_view minors = words[i + 2];
        const std::size_t dash = minors.find('-');
        const std::optional<std::uint32_t> first = Decimal(minors.substr(0, dash));
        const std::optional<std::uint32_t> last =
            dash == std::string_view::npos ? first : Decimal(minors.substr(dash + 1));
        if (listed && first && last)
            return *listed == major && minor >= *first && minor <= *last;
    }
    return false;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Removes the stale lock file that `found` read, and no other that took its name since.
bool RemoveLockFile(const std::string& file, const LockFound& found) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISREG(st.st_mode) || st.st_dev != found.device || st.st_ino != found.inode)
        return false;
    return ::unlink(file.c_str()) == 0 || errno == ENOENT;
}

// Makes the lock file whole in one step: a reader never sees it half written.
int CreateLock(const fs::path& folder, const std::string& file) {
    std::string temp = (folder / "LTMP.XXXXXX").string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    const std::string text = LockFileText(::getpid());
    const auto length = static_cast<ssize_t>(text.size());
    const bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, text.data(), text.size()) == length;
    ::close(fd);
    const int error = !written ? EIO : ::link(temp.c_str(), file.c_str()) == 0 ? 0 : errno;
    ::unlink(temp.c_str());
    return error;
}

std::vector<fs::path> DistinctFolders(const std::vector<fs::path>& folders) {
    std::vector<fs::path> distinct;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        const fs::path real = fs::canonical(folder, ec);
        if (!ec && fs::is_directory(real, ec) &&
            std::find(distinct.begin(), distinct.end(), real) == distinct.end())
            distinct.push_back(real);
    }
    return distinct;
}

} // namespace

bool IsTerminal(dev_t device, const fs::path& proc) {
    std::ifstream drivers(proc / "tty" / "drivers");
    if (!drivers)
        return true;
    std::ostringstream text;
    text << drivers.rdbuf();
    return DriverListHolds(text.str(), device);
}

bool DriverListHolds(std::string_view drivers, dev_t device) {
    while (!drivers.empty()) {
        const std::size_t end = std::min(drivers.find('\n'), drivers.size());
        if (LineHolds(drivers.substr(0, end), ::major(device), ::minor(device)))
            return true;
        drivers.remove_prefix(std::min(end + 1, drivers.size()));
    }
    return false;
}

HolderLook::HolderLook(fs::path proc)
    : proc_(std::move(proc)), procFd_(::open(proc_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

HolderLook::~HolderLook() {
    if (procFd_ >= 0)
        ::close(procFd_);
}

HolderLook::HolderLook(HolderLook&& other) noexcept
    : proc_(std::move(other.proc_)), procFd_(std::exchange(other.procFd_, -1)),
      processes_(std::move(other.processes_)), walkedProcesses_(other.walkedProcesses_),
      walkedDescriptors_(other.walkedDescriptors_) {}

HolderLook& HolderLook::operator=(HolderLook&& other) noexcept {
    if (this != &other) {
        HolderLook old(std::move(*this));
        proc_ = std::move(other.proc_);
        procFd_ = std::exchange(other.procFd_, -1);
        processes_ = std::move(other.processes_);
        walkedProcesses_ = other.walkedProcesses_;
        walkedDescriptors_ = other.walkedDescriptors_;
    }
    return *this;
}

void HolderLook::Refresh(std::stop_token stop) {
    walkedProcesses_ = walkedDescriptors_ = 0;
    if (procFd_ < 0 || ::lseek(procFd_, 0, SEEK_SET) != 0)
        return;
    const pid_t self = ::getpid();
    // What is known of a process moves from the old view to the new; those that ended stay
    // behind.
    std::map<pid_t, Process> now;
    alignas(dirent64) char entries[8192];
    ssize_t length = 0;
    while ((length = ::getdents64(procFd_, entries, sizeof entries)) > 0) {
        for (ssize_t at = 0; at < length;) {
            if (stop.stop_requested()) {
                // What moved to the new view goes back: an entry left moved-from would claim
                // a walk of no descriptors.
                for (auto& [pid, process] : now)
                    processes_[pid] = std::move(process);
                return;
            }
            const auto* e = reinterpret_cast<const dirent64*>(entries + at);
            at += e->d_reclen;
            const std::optional<pid_t> pid = PidOf(e->d_name);
            if (!pid || *pid == self)
                continue;
            Process process;
            if (const auto known = processes_.find(*pid); known != processes_.end())
                process = std::move(known->second);
            else if (::clock_getcpuclockid(*pid, &process.clock) != 0)
                continue;
            timespec ran{};
            if (::clock_gettime(process.clock, &ran) != 0)
                continue; // it has ended
            // Read before the walk: whatever the process does meanwhile shows at the next look.
            const std::int64_t ns = std::int64_t{ran.tv_sec} * 1'000'000'000 + ran.tv_nsec;
            if (ns != process.ran) {
                Walk(*pid, process);
                process.ran = ns;
            }
            now.emplace(*pid, std::move(process));
        }
    }
    processes_ = std::move(now);
}

void HolderLook::Walk(pid_t pid, Process& process) {
    process.devices.clear();
    const std::string name = std::to_string(pid);
    // Other users' descriptors are hidden from all but root: do not knock at each.
    struct stat st {};
    if (const uid_t user = ::geteuid();
        user != 0 && (::fstatat(procFd_, name.c_str(), &st, 0) != 0 || st.st_uid != user))
        return;
    const int fdDir = ::openat(procFd_, (name + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir < 0)
        return;
    ++walkedProcesses_;
    walkedDescriptors_ += CharDevicesIn(fdDir, process.devices);
    ::close(fdDir);
}

std::optional<PortHolder> HolderLook::HolderOf(dev_t device) const {
    for (const auto& [pid, process] : processes_) {
        if (std::find(process.devices.begin(), process.devices.end(), device) !=
            process.devices.end())
            return PortHolder{pid, ProgramOf(pid, proc_)};
    }
    return std::nullopt;
}

std::optional<PortHolder> FindHolder(dev_t device, const fs::path& proc) {
    HolderLook look(proc);
    look.Refresh();
    return look.HolderOf(device);
}

std::string ProgramOf(pid_t pid, const fs::path& proc) {
    std::ifstream in(proc / std::to_string(pid) / "comm");
    std::string name;
    std::getline(in, name);
    return name;
}

bool IsActiveConsole(const std::string& name, dev_t device, const fs::path& proc,
                     const fs::path& sys) {
    std::ifstream active(sys / "class" / "tty" / "console" / "active");
    for (std::string word; active >> word;) {
        if (word == name)
            return true;
    }
    // "ttyS0                -W- (EC  p a)    4:64": an enabled console has E among its flags.
    std::ifstream consoles(proc / "consoles");
    for (std::string line; std::getline(consoles, line);) {
        const auto open = line.find('(');
        const auto close = line.find(')', open);
        if (close == std::string::npos || line.find('E', open) > close)
            continue;
        std::istringstream numbers(line.substr(close + 1));
        unsigned major = 0, minor = 0;
        char colon = 0;
        if (numbers >> major >> colon >> minor && colon == ':' && makedev(major, minor) == device)
            return true;
    }
    return false;
}

std::string NameBelowDev(const std::string& device) {
    if (device.rfind("/dev/", 0) != 0)
        return fs::path(device).filename().string();
    std::string name = device.substr(5);
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

OpenFacts AccessFacts(const std::string& path) {
    OpenFacts facts;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return facts;
    // Joining root's group is no advice to give.
    facts.groupMayOpen =
        st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);

    std::vector<char> buffer(16384);
    group gr{};
    group* g = nullptr;
    passwd pw{};
    passwd* p = nullptr;
    if (::getgrgid_r(st.st_gid, &gr, buffer.data(), buffer.size(), &g) != 0 || g == nullptr)
        return facts;
    facts.group = g->gr_name;
    std::vector<std::string> members;
    for (char** m = g->gr_mem; *m != nullptr; ++m)
        members.emplace_back(*m);
    if (::getpwuid_r(::geteuid(), &pw, buffer.data(), buffer.size(), &p) == 0 && p != nullptr)
        facts.userInGroup = p->pw_gid == st.st_gid ||
                            std::find(members.begin(), members.end(), p->pw_name) != members.end();

    // The groups this process runs with are those of the login it came from.
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(count, groups.data());
    facts.groupInEffect = ::getegid() == st.st_gid ||
                          std::find(groups.begin(), groups.begin() + std::max(got, 0), st.st_gid) !=
                              groups.begin() + std::max(got, 0);
    return facts;
}

// ---------------------------------------------------------------------------------------

std::optional<pid_t> LockFilePid(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return std::nullopt;
    std::size_t end = start;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    if (end < text.size() && !IsBlank(text[end]))
        return std::nullopt;
    const std::optional<std::uint32_t> pid = Decimal(text.substr(start, end - start));
    if (!pid || *pid == 0 || *pid > static_cast<std::uint32_t>(std::numeric_limits<pid_t>::max()))
        return std::nullopt;
    return static_cast<pid_t>(*pid);
}

std::string LockFileText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

LockFound ReadLockFile(const std::string& file) {
    LockFound found;
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        // A name that cannot be looked at may hide a lock: it is not taken for none.
        if (errno != ENOENT)
            found.kind = LockFound::Kind::File;
        return found;
    }
    const auto notAFile = [&found](const struct stat& s) {
        found.kind = LockFound::Kind::NotAFile;
        found.what = S_ISDIR(s.st_mode)   ? "a directory"
                     : S_ISLNK(s.st_mode) ? "a symbolic link"
                                          : "no regular file";
        return found;
    };
    if (!S_ISREG(st.st_mode))
        return notAFile(st);
    found.kind = LockFound::Kind::File;
    found.device = st.st_dev;
    found.inode = st.st_ino;
    // Neither a link nor a FIFO that takes the name meanwhile is followed or waited on.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            found.kind = LockFound::Kind::Absent;
        if (errno == ELOOP) {
            st.st_mode = S_IFLNK;
            return notAFile(st);
        }
        return found; // unreadable: it names no PID that we can see
    }
    char text[64];
    ssize_t length = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        found.device = st.st_dev;
        found.inode = st.st_ino;
        length = ::read(fd, text, sizeof text);
    }
    ::close(fd);
    if (!S_ISREG(st.st_mode))
        return notAFile(st);
    if (length > 0)
        found.pid = LockFilePid(std::string_view(text, static_cast<std::size_t>(length)));
    return found;
}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        UucpLock old(std::move(*this));
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

UucpLock::~UucpLock() {
    if (!path_.empty())
        ::unlink(path_.c_str());
}

LockOutcome TakeUucpLock(const std::string& device, const std::vector<fs::path>& folders) {
    const std::string name = "LCK.." + NameBelowDev(device);
    const pid_t self = ::getpid();
    LockOutcome outcome;
    bool ours = false;
    const auto live = [self](const LockFound& found) {
        return found.kind == LockFound::Kind::File && found.pid && *found.pid != self &&
               Alive(*found.pid);
    };
    const auto heldBy = [&](const std::string& file, pid_t pid) {
        outcome.heldBy = file;
        outcome.holder = PortHolder{pid, ProgramOf(pid)};
        return std::move(outcome);
    };
    const auto passedOver = [&outcome](const std::string& file, const LockFound& found) {
        const std::string shown = VisibleText(file);
        outcome.note = found.kind == LockFound::Kind::NotAFile
                           ? shown + " is " + found.what + ", no lock file: it is left alone"
                           : "the stale lock file " + shown + " is not ours to remove";
        outcome.note += ", and the port is used without a lock file of our own";
    };
    // A live lock in any folder counts; a stale one goes where we may remove it.
    const std::vector<fs::path> distinct = DistinctFolders(folders);
    for (const fs::path& folder : distinct) {
        const std::string file = (folder / name).string();
        const LockFound found = ReadLockFile(file);
        if (found.kind == LockFound::Kind::Absent)
            continue;
        if (live(found))
            return heldBy(file, *found.pid);
        if (found.pid && *found.pid == self) {
            ours = true;
        } else if (found.kind == LockFound::Kind::File && RemoveLockFile(file, found)) {
            outcome.note = "the stale lock file " + VisibleText(file) +
                           " was removed: it named no running program";
        } else {
            passedOver(file, found);
        }
    }
    for (const fs::path& folder : distinct) {
        if (ours)
            break;
        const std::string file = (folder / name).string();
        const int error = CreateLock(folder, file);
        if (error == 0) {
            outcome.lock = UucpLock(file);
            break;
        }
        if (error == EEXIST) {
            // Someone took it just now, or what is there is not ours to replace: that is passed
            // over, and we go on without a lock of our own.
            const LockFound found = ReadLockFile(file);
            if (live(found))
                return heldBy(file, *found.pid);
            if (!(found.pid && *found.pid == self))
                passedOver(file, found);
            break;
        }
        // A folder that does not let us write: the next one may.
    }
    return outcome;
}

UseFound FindUse(const std::string& path, dev_t device, const HolderLook& holders,
                 const SystemRoots& roots) {
    UseFound use;
    use.facts.holder = holders.HolderOf(device);
    std::error_code ec;
    const std::string resolved = fs::canonical(path, ec).string();
    use.facts.console =
        !use.facts.holder && IsActiveConsole(NameBelowDev(resolved), device, roots.proc, roots.sys);
    if (use.facts.holder || use.facts.console) {
        use.inUse = true;
        return use;
    }
    auto taken = TakeUucpLock(ec ? path : resolved, roots.lockFolders);
    use.facts.holder = taken.holder;
    use.facts.lockFile = taken.heldBy;
    use.inUse = !taken.heldBy.empty();
    use.lock = std::move(taken.lock);
    use.note = std::move(taken.note);
    return use;
}

BeforeOpening LookBeforeOpening(const std::string& path, const HolderLook& holders,
                                const SystemRoots& roots) {
    BeforeOpening look;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        look.problem = DiagnoseOpenFailure(path, errno);
        return look;
    }
    // Only a terminal is opened: opening alone may set another device off (a watchdog), and
    // what follows an open is for terminals.
    if (!S_ISCHR(st.st_mode) || !IsTerminal(st.st_rdev, roots.proc)) {
        look.problem = DiagnoseOpenFailure(path, ENOTTY);
        return look;
    }
    // Another program's port is refused before anything about it changes.
    look.use = FindUse(path, st.st_rdev, holders, roots);
    if (look.use.inUse) {
        look.problem = DiagnoseOpenFailure(path, EBUSY, look.use.facts);
        return look;
    }
    look.problem.detail = look.use.note;
    return look;
}

} // namespace tvk9::linux_port
