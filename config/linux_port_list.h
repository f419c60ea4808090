#pragma once

// The port list on Linux: "/dev/NAME" for every real serial device, then the full path of every
// link in the port folder that resolves to a character device. A missing sysfs or port folder
// contributes nothing, and so does the /tmp fallback folder when it is not this user's own.

#include "config/port_list.h"

#include <filesystem>
#include <string_view>

namespace tvk9 {

// ListSerialPorts from another sysfs root (normally "/sys") and port folder (none when empty).
std::vector<std::string> ListSerialPorts(const std::filesystem::path& sysfsRoot,
                                         const std::filesystem::path& portFolder);

// ListSerialPortInfo from other roots: the USB details come from sysfs (followed from the tty up
// to its USB device) and the /dev/serial/by-id link that names the port.
std::vector<PortInfo> ListSerialPortInfo(const std::filesystem::path& sysfsRoot,
                                         const std::filesystem::path& portFolder,
                                         const std::filesystem::path& devRoot = "/dev");

// Where virtual ports are registered: $TVK9_PORT_DIR, else $XDG_RUNTIME_DIR/tvk9-ports, else
// /tmp/tvk9-ports-UID. Empty variables count as unset.
std::filesystem::path PortFolder();

// PortFolder(), created with mode 0700 when missing. Throws tvk9::Exception when the folder
// cannot be made or is no directory. The /tmp fallback must also belong to this user: a
// folder that someone else made there first could hand our ports to them.
std::filesystem::path EnsurePortFolder();
std::filesystem::path EnsurePortFolder(const std::filesystem::path& folder, bool mustBeOwn);

// "Natural" order: runs of digits compare by their value, so ttyS2 comes before ttyS10.
bool NaturalLess(std::string_view a, std::string_view b);

} // namespace tvk9
