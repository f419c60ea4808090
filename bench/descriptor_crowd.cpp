#include "bench/descriptor_crowd.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tvk9::bench {

DescriptorCrowd::DescriptorCrowd(std::size_t processes, std::size_t each,
                                 std::chrono::milliseconds wake) {
    int ready[2] = {-1, -1};
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    for (std::size_t i = 0; i < processes; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            // Nothing of the parent's, its ports above all: the crowd holds no port.
            const int keep = ready[1] == 3 ? 3 : ::dup2(ready[1], 3);
            ::close_range(static_cast<unsigned>(keep) + 1, ~0U, 0);
            const rlimit room{each + 64, each + 64};
            ::setrlimit(RLIMIT_NOFILE, &room);
            for (std::size_t n = 0; n < each; ++n) {
                if (::open("/dev/null", O_RDONLY) < 0) {
                    ::_exit(1);
                }
            }
            [[maybe_unused]] const auto w = ::write(keep, "", 1);
            ::close(keep);
            for (;;) {
                ::poll(nullptr, 0, wake.count() > 0 ? static_cast<int>(wake.count()) : -1);
            }
        }
        if (child < 0) {
            break;
        }
        children_.push_back(child);
    }
    ::close(ready[1]);
    char byte = 0;
    for (std::size_t i = 0; i < children_.size() && ::read(ready[0], &byte, 1) == 1; ++i) {
        descriptors_ += each;
    }
    ::close(ready[0]);
}

DescriptorCrowd::~DescriptorCrowd() {
    for (const pid_t child : children_) {
        ::kill(child, SIGKILL);
    }
    for (const pid_t child : children_) {
        ::waitpid(child, nullptr, 0);
    }
}

bool AnyOtherProcessHolds(dev_t device) {
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) {
        return false;
    }
    const pid_t self = ::getpid();
    const uid_t user = ::geteuid();
    const int procFd = ::dirfd(processes);
    bool found = false;
    while (const dirent* e = ::readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0' || pid <= 0 || pid == self) {
            continue;
        }
        struct stat st {};
        if (user != 0 && (::fstatat(procFd, e->d_name, &st, 0) != 0 || st.st_uid != user)) {
            continue;
        }
        const int fdDir = ::openat(procFd, (std::string(e->d_name) + "/fd").c_str(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdDir < 0) {
            continue;
        }
        alignas(dirent64) char entries[8192];
        ssize_t length = 0;
        while (!found && (length = ::getdents64(fdDir, entries, sizeof entries)) > 0) {
            for (ssize_t at = 0; at < length && !found;) {
                const auto* d = reinterpret_cast<const dirent64*>(entries + at);
                at += d->d_reclen;
                found = d->d_name[0] != '.' && ::fstatat(fdDir, d->d_name, &st, 0) == 0 &&
                        S_ISCHR(st.st_mode) && st.st_rdev == device;
            }
        }
        ::close(fdDir);
        if (found) {
            break;
        }
    }
    ::closedir(processes);
    return found;
}

} // namespace tvk9::bench
