#include "common/file_settle.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
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

// The rule of the kernel's fs.protected_symlinks, which not every system turns on; every link
// on the way counts, not only the last.
bool PlantedLinkOnTheWay(const char* path) {
    std::filesystem::path way;
    for (const std::filesystem::path& part : std::filesystem::path(path)) {
        way /= part;
        struct stat link {};
        if (::lstat(way.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            continue;
        }
        const std::filesystem::path parent = way.parent_path();
        struct stat folder {};
        if (::stat(parent.empty() ? "." : parent.c_str(), &folder) != 0) {
            return true; // a folder that cannot be looked at is not one to trust
        }
        const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
        if (shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
            return true;
        }
    }
    return false;
}

} // namespace tvk9
