#include "tools/settings/decimal_separator.h"

#ifdef TVK9_SETTINGS_QT_LOCALE
#include <QLocale>
#include <QString>
#else
#include <clocale>
#include <cstring>
#endif

namespace tvk9 {

#ifdef TVK9_SETTINGS_QT_LOCALE

// QLocale knows every locale by name, installed or not, just as the window sees it.
char RegionalDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) {
        return static_cast<char>(point.at(0).unicode());
    }
    return '.';
}

#else

// Without Qt the C library answers; it knows only the locales installed on this system.
char RegionalDecimalSeparator() {
    const char* name = std::setlocale(LC_NUMERIC, "");
    const char* point = name != nullptr ? std::localeconv()->decimal_point : ".";
    const char separator = std::strlen(point) == 1 ? point[0] : '.';
    std::setlocale(LC_NUMERIC, "C");
    return static_cast<unsigned char>(separator) < 0x80 ? separator : '.';
}

#endif

} // namespace tvk9
