#include "bench/holder_walk.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tvk9::bench {

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
