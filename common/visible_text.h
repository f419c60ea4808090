#pragma once

// Text that comes from outside (port names, a USB device's strings, file names, program names)
// on its way to a terminal, a status bar or a rules file: its control characters shown, never
// acted on.

#include <cstddef>
#include <string>
#include <string_view>

namespace tvk9 {

// The length of the well-formed UTF-8 sequence at the start of `text` (RFC 3629: no over-long
// forms, no surrogates, nothing past U+10FFFF), or 0 when it starts with none. `text` is not
// empty.
std::size_t Utf8SequenceLength(std::string_view text);

// Whether the sequence of `length` bytes at the start of `text` is a control character: C0,
// DEL, or C1 (U+0080 to U+009F).
bool IsControlCharacter(std::string_view text, std::size_t length);

// `text` with every control character and every byte that is no part of well-formed UTF-8
// written as \xHH, byte by byte (ESC is \x1b, a line break \x0a). Backslashes stay as they
// are, so that showing a text twice changes nothing more. Any thread.
std::string VisibleText(std::string_view text);

} // namespace tvk9
