#include "config/system_port_lister.h"

#include <algorithm>

namespace tvk9 {

std::vector<std::string> SystemPortLister::ListSerialPorts() {
    last_ = ListSerialPortInfo();
    std::vector<std::string> names;
    for (const PortInfo& port : last_) {
        names.push_back(port.name);
    }
    return names;
}

const PortInfo* SystemPortLister::Find(const std::string& name) const {
    const auto it = std::find_if(last_.begin(), last_.end(),
                                 [&name](const PortInfo& port) { return port.name == name; });
    return it != last_.end() ? &*it : nullptr;
}

std::string SystemPortLister::PortDetails(const std::string& name) {
    const PortInfo* port = Find(name);
    return port != nullptr ? Describe(port->usb) : std::string();
}

std::string SystemPortLister::ToolTip(const std::string& name) {
    const PortInfo* port = Find(name);
    return port != nullptr ? PortToolTip(port->usb) : std::string();
}

} // namespace tvk9
