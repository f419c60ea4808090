#include "common/wait_readable.h"

namespace tvk9 {

// The C runtime's descriptors always block: a read never answers "try again".
void WaitUntilReadable(int) {}

} // namespace tvk9
