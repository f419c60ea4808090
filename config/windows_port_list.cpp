#include "config/windows_port_list.h"
#include "config/port_list.h"

#include "common/error.h"

#include <algorithm>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tvk9 {

namespace {

// An open registry key, closed however the reading ends.
class RegistryKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() { ::RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

std::vector<std::string> ValueNames(HKEY key) {
    DWORD count = 0;
    DWORD longest = 0;
    if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<std::string> names;
    std::string name(longest + 1, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (::RegEnumValueA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break; // the key changed while it was read: what was there is the list
        }
        names.emplace_back(name.data(), length);
    }
    return names;
}

// A value's data as text. Nothing (size 0, or a size that cannot be read) is the empty text.
std::string ReadText(HKEY key, const std::string& name) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0) {
        return {};
    }
    std::string data(size, '\0');
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS) {
        throw Exception("Failed to get data for '" + name + "'");
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        throw Exception("Invalid data type for '" + name + "'");
    }
    data.resize(std::min<std::size_t>(size, data.size()));
    if (const auto zero = data.find('\0'); zero != std::string::npos) {
        data.resize(zero);
    }
    return data;
}

} // namespace

std::vector<std::string> ListPortNamesUnder(const std::string& local_machine_key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, local_machine_key.c_str(), 0, KEY_READ, &opened) !=
        ERROR_SUCCESS) {
        return {};
    }
    const RegistryKey key(opened);
    std::vector<std::string> ports;
    for (const std::string& name : ValueNames(key.Get())) {
        ports.push_back(ReadText(key.Get(), name));
    }
    return ports;
}

std::vector<std::string> ListSerialPorts() {
    return ListPortNamesUnder("HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

// The registry names the ports only; their USB details would take the setup API.
std::vector<PortInfo> ListSerialPortInfo() {
    std::vector<PortInfo> ports;
    for (std::string& name : ListSerialPorts())
        ports.push_back({std::move(name), {}});
    return ports;
}

} // namespace tvk9
