#pragma once

// The serial ports the system knows, read afresh at every call, and what is known of each. On
// Linux: real devices first, then the virtual ports that programs such as the device simulator
// register in the port folder (config/linux_port_list.h); on Windows: the registry's list.

#include <string>
#include <vector>

namespace tvk9 {

// The system's serial ports in a stable order. Never opens a port, never throws.
std::vector<std::string> ListSerialPorts();

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

// The ports of ListSerialPorts, in its order, each with what the system knows of its USB device.
std::vector<PortInfo> ListSerialPortInfo();

} // namespace tvk9
