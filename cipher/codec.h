#pragma once

// Deciphers the hex-coded lines of a settings file: single DES in electronic codebook mode
// under a key made from text. Only the deciphering direction exists at string level.
//
// Strings are byte strings: any byte, zero included, may stand in them.

#include "cipher/des.h"

#include <string>
#include <string_view>

namespace tvk9 {

// Value of a string of hex digits (either case; empty gives 0). Any other character raises
// tvk9::Exception "Error: not a Hex String". Digits beyond eight wrap as 32-bit arithmetic.
int HexToInt(std::string hex);

// 0 to 15 for "0" to "9", "A" to "F" and "a" to "f"; -1 for any other character.
int HexDigitValue(char c);

// The DES key of a text key: zero bytes appended up to 8 bytes, bytes after the eighth unused.
DesKey DesKeyFromText(std::string_view key);

// Deciphers every whole 8-byte block on its own (1 to 7 trailing bytes are ignored) and strips
// the zero bytes that end the result, the filling of the last block with them. Schedules the
// key afresh on every call, so nothing carries over from an earlier key.
std::string DecipherStr(std::string cipherText, std::string key);

// DecipherStr of the bytes that the hex text spells, two digits per byte, high digit first;
// a final odd character is ignored. A non-hex character in any pair raises
// "Error: not a Hex String" before anything is deciphered (the round keys stay as they were).
std::string DecipherHexStr(std::string hexText, std::string key);

} // namespace tvk9
