#include "common/file_settle.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tvk9 {

int SettleNewFile(int fd, const struct stat* old) {
    if (old != nullptr) {
        // Root rewriting a user's file leaves it the user's.
        if (::geteuid() == 0 && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
            return errno;
        }
        if (::fchmod(fd, old->st_mode & 07777) != 0) {
            return errno;
        }
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

void SettleFolder(const char* folder) {
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace tvk9
