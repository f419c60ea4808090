#pragma once

namespace tvk9 {

// The decimal separator of the user's regional settings (LC_ALL, else LC_NUMERIC, else LANG),
// read the way the programmer's window reads it. A separator that is not a single ASCII
// character cannot stand in a byte string and gives a full stop.
char RegionalDecimalSeparator();

} // namespace tvk9
