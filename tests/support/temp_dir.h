#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace tvk9 {

// A fresh folder of its own under the system's temporary folder, removed with all it holds.
class TempDir {
public:
    explicit TempDir(std::string_view prefix = "tvk9") {
        namespace fs = std::filesystem;
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path p =
                fs::temp_directory_path() / (std::string(prefix) + "-" + std::to_string(random()));
            std::error_code ec;
            if (fs::create_directory(p, ec)) {
                fs::permissions(p, fs::perms::owner_all, ec);
                path_ = p;
            }
        }
        if (path_.empty()) {
            throw std::runtime_error("cannot make a temporary folder");
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace tvk9
