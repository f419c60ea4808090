#pragma once

// Single DES (FIPS 46-3) on one 8-byte block at a time.
//
// Bit numbering follows the standard, laid over bytes most significant bit first: bit 1 is the
// top bit of byte 0, bit 64 the lowest bit of byte 7. Keys are numbered the same way; the
// lowest bit of every key byte is a parity bit that takes no part and is never checked.

#include <array>
#include <cstdint>

namespace tvk9 {

enum class DesMode { Encipher, Decipher };

using DesBlock = std::array<std::uint8_t, 8>;
using DesKey = std::array<std::uint8_t, 8>;
// 48 bits, most significant first.
using DesRoundKey = std::array<std::uint8_t, 6>;

// K1 to K16 of the key last scheduled. Shared by every block operation, so one key's schedule
// and its blocks must not be interleaved with another key's. Not cleared after use. The block
// operations read the same keys from a form expanded for the rounds that DesKeySchedule writes
// beside this table, so round keys take effect only through DesKeySchedule.
extern std::array<DesRoundKey, 16> DesRoundKeys;

// Overwrites all of DesRoundKeys, and its expanded form, with the round keys of `key`. Every
// key is accepted, weak ones included.
void DesKeySchedule(const DesKey& key);

// One block under the round keys last scheduled. `input` and `output` may be the same object.
void DesCipherBlock(DesMode mode, const DesBlock& input, DesBlock& output);

} // namespace tvk9
