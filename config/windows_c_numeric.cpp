#include "config/c_numeric.h"

#include <clocale>
#include <locale.h>
#include <new>
#include <string>

namespace tvk9 {

// The C runtime keeps one locale per process unless a thread asks for its own.
struct CNumericScope::Saved {
    int mode = 0;
    std::string previous;
};

CNumericScope::CNumericScope() : saved_(std::make_unique<Saved>()) {
    saved_->mode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    saved_->previous = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "C") == nullptr) {
        _configthreadlocale(saved_->mode);
        throw std::bad_alloc();
    }
}

CNumericScope::~CNumericScope() {
    std::setlocale(LC_NUMERIC, saved_->previous.c_str());
    _configthreadlocale(saved_->mode);
}

} // namespace tvk9
