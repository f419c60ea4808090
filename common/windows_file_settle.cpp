#include "common/file_settle.h"

#include <cerrno>
#include <io.h>

namespace tvk9 {

// A Windows file has no permission bits or owner that a C runtime descriptor could carry over.
int SettleNewFile(int fd, const struct stat*) {
    return ::_commit(fd) == 0 ? 0 : errno;
}

// Windows writes a renaming through to the disk itself.
void SettleFolder(const char*) {}

// Windows has no sticky folders, and making a symbolic link takes a privilege of its own.
bool PlantedLinkOnTheWay(const char*) {
    return false;
}

} // namespace tvk9
