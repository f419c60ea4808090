// What is said of a port's USB device, the same on every system.

#include "config/port_list.h"

#include "common/visible_text.h"

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
    return VisibleText(text);
}

std::string PortToolTip(const UsbDetails& usb) {
    const std::string details = Describe(usb);
    const char* between = details.empty() || usb.byId.empty() ? "" : "\n";
    return details + between + VisibleText(usb.byId);
}

} // namespace tvk9
