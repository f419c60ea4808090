#pragma once

#include <stdexcept>
#include <string>

namespace tvk9 {

// The one error type that stops an operation. It carries the message text the user sees;
// nothing in the core catches it, the application's error box shows it.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

} // namespace tvk9
