#pragma once

#include <string>
#include <string_view>

namespace tvk9 {

// Writes all of `bytes` to `fd`, going on after an interrupted write. Returns 0 or the errno of
// the write that failed.
int WriteAll(int fd, std::string_view bytes);

// Makes `bytes` the content of the file at `path`. A regular file, or one not there yet, is
// replaced only once the new content is whole on the disk, so a write that fails half-way (a
// full disk, a quota) leaves the old file as it was; the new one keeps the old one's
// permissions. Anything else (a symbolic link, a FIFO, a terminal) is written through as it is.
// Throws Exception "Cannot create file "PATH". CAUSE" or "Cannot write file "PATH". CAUSE".
void WriteWholeFile(const std::string& path, std::string_view bytes);

} // namespace tvk9
