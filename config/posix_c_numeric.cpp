#include "config/c_numeric.h"

#include <locale.h>
#include <new>

namespace tvk9 {

struct CNumericScope::Saved {
    locale_t c = static_cast<locale_t>(0);
    locale_t previous = static_cast<locale_t>(0);
};

CNumericScope::CNumericScope() : saved_(std::make_unique<Saved>()) {
    saved_->c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    if (saved_->c == static_cast<locale_t>(0)) {
        throw std::bad_alloc();
    }
    saved_->previous = uselocale(saved_->c);
}

CNumericScope::~CNumericScope() {
    uselocale(saved_->previous);
    freelocale(saved_->c);
}

} // namespace tvk9
