#pragma once

// The port list on Windows: the names that the serial drivers register under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, one per value, as the registry enumerates
// them. ListSerialPorts() (config/port_list.h) reads that key.

#include <string>
#include <vector>

namespace tvk9 {

// The data of every value of a key under HKEY_LOCAL_MACHINE, opened read-only and never
// created: in enumeration order, duplicates and empty names kept, text cut at its first zero
// character, environment references left as they are. No such key (or no access): an empty
// list. A value that holds no text, or whose data cannot be read, throws tvk9::Exception
// naming the value.
std::vector<std::string> ListPortNamesUnder(const std::string& local_machine_key);

} // namespace tvk9
