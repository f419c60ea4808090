#pragma once

// The number conversions of the settings file: whole numbers for the orientation, decimal
// numbers for the axes and the scaled parameters, and how a decimal number becomes a byte.

#include <cstdint>
#include <string>

namespace tvk9 {

// Optional leading blanks, an optional sign, then decimal digits that fit a signed 32-bit
// value, or up to 32 bits of hex digits behind "$", "x", "X", "0x" or "0X". Nothing may
// follow. Throws tvk9::Exception "'TEXT' is not a valid integer value".
std::int32_t ParseWholeNumber(const std::string& text);

// Optional blanks, an optional sign, digits with at most one decimal separator among or
// around them, an optional exponent, optional blanks. The separator is the full stop or the
// user's `decimalSeparator`: there are no group separators, so either reads unambiguously and
// a file reads the same in every locale. Read into long double (64-bit mantissa on x86-64); a
// value beyond its range is refused, one too small for it reads as zero.
// Throws tvk9::Exception "'TEXT' is not a valid floating point value".
long double ParseDecimalNumber(const std::string& text, char decimalSeparator);

// The low 8 bits of a whole number: 257 gives 1, -1 gives 255.
std::uint8_t LowByte(std::int32_t value);

// x * 10 + 10 for an axis, x * 10 for a scaled parameter, each computed in long double,
// truncated toward zero, low 8 bits of the integer kept. Any magnitude is taken, exactly:
// values of 2^71 or more have no low bits left and give 0.
std::uint8_t ScaleAxis(long double x);
std::uint8_t ScaleParameter(long double x);

} // namespace tvk9
