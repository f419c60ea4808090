#include "common/whole_file.h"

#include "common/error.h"
#include "common/file_settle.h"
#include "common/open_flags.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tvk9 {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what, const std::string& path, const std::string& cause) {
    throw Exception(std::string(what) + " \"" + path + "\". " + cause);
}

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
    Fail(what, path, std::generic_category().message(error));
}

// `follow`: the name is a link that may be followed; otherwise one that takes the name
// meanwhile is not.
void WriteThrough(const std::string& path, std::string_view bytes, bool follow) {
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | OpenAsIs | (follow ? 0 : OpenNoFollow);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        Fail("Cannot create file", path, errno);
    }
    const int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) {
        Fail("Cannot write file", path, errno);
    }
    if (error != 0) {
        Fail("Cannot write file", path, error);
    }
}

// The new content's file beside the old one, removed unless it took the old one's place.
class Replacement {
public:
    Replacement(const fs::path& target, int& error) {
        std::random_device random;
        for (int attempt = 0; attempt < 16; ++attempt) {
            const auto tag = (std::uint64_t{random()} << 32) | random();
            char suffix[24];
            std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(tag));
            // Appended piece by piece: "." + a temporary string draws GCC 12's false
            // -Wrestrict at -O3 (GCC bug 105329).
            std::string hidden = ".";
            hidden += target.filename().string();
            hidden += suffix;
            name_ = target.parent_path() / hidden;
            fd_ = ::open(name_.string().c_str(), O_WRONLY | O_CREAT | O_EXCL | OpenAsIs, 0666);
            if (fd_ >= 0 || errno != EEXIST) {
                break;
            }
        }
        error = fd_ < 0 ? errno : 0;
        created_ = fd_ >= 0;
    }
    ~Replacement() {
        Close();
        if (created_ && !placed_) {
            std::error_code ignored;
            fs::remove(name_, ignored);
        }
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    int Fd() const { return fd_; }
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0 ? 0 : errno;
    }
    std::error_code Place(const fs::path& target) {
        std::error_code error;
        fs::rename(name_, target, error);
        placed_ = !error;
        return error;
    }

private:
    fs::path name_;
    int fd_ = -1;
    bool created_ = false; // the name is ours to remove
    bool placed_ = false;
};

} // namespace

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto done = ::write(fd, bytes.data(), static_cast<unsigned>(bytes.size()));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return 0;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    if (PlantedLinkOnTheWay(path.c_str())) {
        Fail("Cannot create file", path,
             "The way to it goes through a symbolic link that another user put in a shared "
             "folder");
    }
    std::error_code ignored;
    const fs::file_type type = fs::symlink_status(path, ignored).type();
    if (type != fs::file_type::regular && type != fs::file_type::not_found) {
        // A link of our own (/dev/stdout), a FIFO, a terminal: written through as it is.
        WriteThrough(path, bytes, type == fs::file_type::symlink);
        return;
    }
    std::optional<struct stat> old;
    if (struct stat found{}; type == fs::file_type::regular && ::stat(path.c_str(), &found) == 0) {
        old = found;
    }
    const fs::path target = path;
    int error = 0;
    Replacement next(target, error);
    if (error == EACCES || error == EPERM) {
        // A folder this user may not add to can still hold a file they may write.
        WriteThrough(path, bytes, false);
        return;
    }
    if (error != 0) {
        Fail("Cannot create file", path, error);
    }
    error = WriteAll(next.Fd(), bytes);
    if (error == 0) {
        error = SettleNewFile(next.Fd(), old ? &*old : nullptr);
    }
    if (const int closed = next.Close(); error == 0) {
        error = closed;
    }
    if (error != 0) {
        Fail("Cannot write file", path, error);
    }
    if (const std::error_code placed = next.Place(target)) {
        Fail("Cannot write file", path, placed.message());
    }
    const fs::path folder = target.parent_path();
    SettleFolder(folder.empty() ? "." : folder.string().c_str());
}

} // namespace tvk9
