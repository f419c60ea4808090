#include "config/linux_port_list.h"

#include "common/error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace tvk9 {

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Entries of a folder, skipping whatever cannot be read: a listing never fails.
template <typename Keep> std::vector<std::string> NamesIn(const fs::path& folder, Keep keep) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (keep(*it)) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return names;
}

// A port the kernel made without hardware says so with a UART type of 0. Reading the sysfs
// attribute never touches the port itself.
bool HasNoUart(const fs::path& typeFile) {
    std::ifstream in(typeFile);
    int type = -1;
    return in >> type && type == 0;
}

bool IsRealSerialDevice(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(entry.path() / "device", ec))) {
        return false;
    }
    return !HasNoUart(entry.path() / "type");
}

bool IsVirtualPort(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_symlink(ec)) {
        return false;
    }
    // Follows the link: dangling links and links to anything but a character device drop out.
    return fs::is_character_file(fs::status(entry.path(), ec));
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The folder itself, not a link that someone planted, and ours.
bool IsOwnDirectory(const fs::path& folder) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

fs::path TmpFallback() {
    return fs::path("/tmp") / ("tvk9-ports-" + std::to_string(getuid()));
}

fs::path UsablePortFolder() {
    fs::path folder = PortFolder();
    // Links in a /tmp folder that someone else made could send us to any device of theirs.
    if (folder == TmpFallback() && !IsOwnDirectory(folder)) {
        folder.clear();
    }
    return folder;
}

std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    return value;
}

// The tty's device, then its parents up to the first that is a USB device (it has a vendor).
UsbDetails UsbDetailsOf(const fs::path& sysfsRoot, const std::string& tty) {
    std::error_code ec;
    const fs::path top = fs::canonical(sysfsRoot, ec);
    fs::path at = fs::canonical(sysfsRoot / "class" / "tty" / tty / "device", ec);
    for (; !ec && at != top && at.has_relative_path(); at = at.parent_path()) {
        if (fs::exists(at / "idVendor", ec)) {
            return {Attribute(at / "manufacturer"), Attribute(at / "product"),
                    Attribute(at / "serial"),       Attribute(at / "idVendor"),
                    Attribute(at / "idProduct"),    {}};
        }
    }
    return {};
}

// by-id links name their device relatively ("../../ttyUSB0").
std::map<std::string, std::string> ByIdNames(const fs::path& devRoot) {
    std::map<std::string, std::string> names;
    const fs::path folder = devRoot / "serial" / "by-id";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const fs::path target = fs::read_symlink(it->path(), ec);
        if (!ec) {
            names.emplace(target.filename().string(),
                          (fs::path("/dev/serial/by-id") / it->path().filename()).string());
        }
        ec.clear();
    }
    return names;
}

// The tty a link in the port folder leads to, when it leads to one of /dev.
std::string TtyOf(const fs::path& link) {
    std::error_code ec;
    const fs::path real = fs::canonical(link, ec);
    return !ec && real.parent_path() == "/dev" ? real.filename().string() : std::string();
}

std::vector<PortInfo> Scan(const fs::path& sysfsRoot, const fs::path& portFolder,
                           const fs::path* devRoot) {
    std::vector<PortInfo> ports;
    std::vector<std::string> ttys; // beside each port, the kernel's name of its tty
    for (const std::string& name : NamesIn(sysfsRoot / "class" / "tty", IsRealSerialDevice)) {
        ports.push_back({"/dev/" + name, {}});
        ttys.push_back(name);
    }
    if (!portFolder.empty()) {
        std::error_code ec;
        fs::path folder = fs::absolute(portFolder, ec);
        if (ec) {
            folder = portFolder;
        }
        for (const std::string& name : NamesIn(folder, IsVirtualPort)) {
            ports.push_back({(folder / name).string(), {}});
            ttys.push_back(devRoot != nullptr ? TtyOf(folder / name) : std::string());
        }
    }
    if (devRoot != nullptr) {
        const auto byId = ByIdNames(*devRoot);
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (ttys[i].empty()) {
                continue;
            }
            ports[i].usb = UsbDetailsOf(sysfsRoot, ttys[i]);
            if (const auto found = byId.find(ttys[i]); found != byId.end()) {
                ports[i].usb.byId = found->second;
            }
        }
    }
    return ports;
}

std::vector<std::string> NamesOf(const std::vector<PortInfo>& ports) {
    std::vector<std::string> names;
    for (const PortInfo& port : ports) {
        names.push_back(port.name);
    }
    return names;
}

} // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    // Equal values written with different leading zeros ("01", "1") are told apart last.
    int zerosTie = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && IsDigit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && IsDigit(b[je])) {
                ++je;
            }
            std::size_t is = i;
            std::size_t js = j;
            while (is + 1 < ie && a[is] == '0') {
                ++is;
            }
            while (js + 1 < je && b[js] == '0') {
                ++js;
            }
            // Compared as text, so no run of digits is too long for a number.
            if (ie - is != je - js) {
                return ie - is < je - js;
            }
            if (const int c = a.substr(is, ie - is).compare(b.substr(js, je - js)); c != 0) {
                return c < 0;
            }
            if (zerosTie == 0 && ie - i != je - j) {
                zerosTie = ie - i < je - j ? -1 : 1;
            }
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
        }
    }
    if (i < a.size() || j < b.size()) {
        return i == a.size();
    }
    return zerosTie < 0;
}

std::vector<std::string> ListSerialPorts(const fs::path& sysfsRoot, const fs::path& portFolder) {
    return NamesOf(Scan(sysfsRoot, portFolder, nullptr));
}

std::vector<std::string> ListSerialPorts() {
    return ListSerialPorts("/sys", UsablePortFolder());
}

std::vector<PortInfo> ListSerialPortInfo(const fs::path& sysfsRoot, const fs::path& portFolder,
                                         const fs::path& devRoot) {
    return Scan(sysfsRoot, portFolder, &devRoot);
}

std::vector<PortInfo> ListSerialPortInfo() {
    return ListSerialPortInfo("/sys", UsablePortFolder());
}

fs::path PortFolder() {
    if (std::string dir = Environment("TVK9_PORT_DIR"); !dir.empty()) {
        return dir;
    }
    if (std::string runtime = Environment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return fs::path(runtime) / "tvk9-ports";
    }
    return TmpFallback();
}

fs::path EnsurePortFolder(const fs::path& folder, bool mustBeOwn) {
    const auto fail = [&](const std::string& why) {
        throw Exception("Cannot use port folder \"" + folder.string() + "\". " + why);
    };
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        // A missing parent (a fresh TVK9_PORT_DIR deep down) is made too, private as well.
        if (errno != ENOENT || folder.parent_path() == folder || folder.parent_path().empty()) {
            fail(std::strerror(errno));
        }
        EnsurePortFolder(folder.parent_path(), false);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            fail(std::strerror(errno));
        }
    }
    if (mustBeOwn && !IsOwnDirectory(folder)) {
        fail("It is not a directory of this user's own.");
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fail("It is not a directory.");
    }
    return folder;
}

fs::path EnsurePortFolder() {
    const fs::path folder = PortFolder();
    return EnsurePortFolder(folder, folder == TmpFallback());
}

} // namespace tvk9
