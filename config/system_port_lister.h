#pragma once

// The window's view of the system's serial ports (config/port_list.h): the list, read afresh at
// every call, and what the system knew of each port of the last list. Used on the
// user-interface thread; lives as long as the window.

#include "config/port_list.h"
#include "config/window_ports.h"

#include <string>
#include <vector>

namespace tvk9 {

class SystemPortLister final : public PortLister {
public:
    std::vector<std::string> ListSerialPorts() override;
    std::string PortDetails(const std::string& name) override;
    std::string ToolTip(const std::string& name) override;

private:
    const PortInfo* Find(const std::string& name) const;
    std::vector<PortInfo> last_;
};

} // namespace tvk9
