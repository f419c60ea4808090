#pragma once

#include <memory>

namespace tvk9 {

// While it lives, the C library's number conversions on the calling thread (strtold) follow
// the "C" rules, a full stop as the decimal point, whatever the process's locale says.
// Throws std::bad_alloc when the system cannot provide them.
class CNumericScope {
public:
    CNumericScope();
    ~CNumericScope();
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    struct Saved; // what the system needs to put the thread's rules back
    std::unique_ptr<Saved> saved_;
};

} // namespace tvk9
