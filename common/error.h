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

// A message as the programmer's error box shows it: a full stop appended when the last
// character sorts above ".".
inline std::string AsShown(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        message.push_back('.');
    }
    return message;
}

} // namespace tvk9
