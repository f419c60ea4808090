// What is said of a port's USB device, the same on every system.

#include "config/port_list.h"

namespace tvk9 {

std::string Describe(const UsbDetails& usb) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        if (!part.empty()) {
            text += (text.empty() ? "" : ", ") + part;
        }
    };
    add(usb.manufacturer.empty() || usb.product.rfind(usb.manufacturer, 0) == 0
            ? usb.product
            : usb.manufacturer + " " + usb.product);
    add(usb.serial.empty() ? std::string() : "serial " + usb.serial);
    add(usb.vendorId.empty() ? std::string() : usb.vendorId + ":" + usb.productId);
    return text;
}

} // namespace tvk9
