#pragma once

// The serial ports the system knows, read afresh at every call: real devices first, then the
// virtual ports that programs such as the device simulator register in the port folder.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tvk9 {

// Device paths in a stable order: "/dev/NAME" for every real serial device, then the full path
// of every link in the port folder that resolves to a character device. Never opens a port,
// never throws; a missing sysfs or port folder contributes nothing, and so does the /tmp
// fallback folder when it is not this user's own.
std::vector<std::string> ListSerialPorts();

// The same from another sysfs root (normally "/sys") and port folder (none when empty).
std::vector<std::string> ListSerialPorts(const std::filesystem::path& sysfsRoot,
                                         const std::filesystem::path& portFolder);

// What the kernel knows of the USB device behind a port; all empty for other ports.
struct UsbDetails {
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string vendorId;  // four hex digits
    std::string productId; // four hex digits
    std::string byId;      // the port's stable name under /dev/serial/by-id
    bool operator==(const UsbDetails&) const = default;
};

// "FTDI FT232R USB UART, serial A10K5JZ1, 0403:6001" (the by-id name is left to the caller);
// empty when nothing is known. The device's own strings are free text: their control
// characters are shown (VisibleText), never passed on.
std::string Describe(const UsbDetails& usb);

// What a port's entry in a list tells when pointed at: Describe and, on a line of its own, the
// by-id name; empty when nothing is known.
std::string PortToolTip(const UsbDetails& usb);

struct PortInfo {
    std::string name; // as ListSerialPorts gives it
    UsbDetails usb;
};

// The ports of ListSerialPorts, in its order, each with its USB details from sysfs (followed
// from the tty up to its USB device) and the /dev/serial/by-id link that names it.
std::vector<PortInfo> ListSerialPortInfo();
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
