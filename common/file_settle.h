#pragma once

// The steps of replacing a file that differ between the systems.

#include <sys/stat.h>

namespace tvk9 {

// Gives the new file `fd` the permissions (and, for root, the owner) of the file it replaces,
// `old`, or none when null, and puts its content on the disk. Returns 0 or the errno.
int SettleNewFile(int fd, const struct stat* old);

// Puts a renaming done in `folder` on the disk; a failure there loses nothing already written.
void SettleFolder(const char* folder);

// Whether the way to `path` goes through a symbolic link that another user planted: one in a
// sticky folder that anyone may write to (/tmp), owned by neither us nor the folder's owner.
bool PlantedLinkOnTheWay(const char* path);

} // namespace tvk9
