#include "cipher/des.h"

#include <bit>
#include <cstddef>

namespace tvk9 {

std::array<DesRoundKey, 16> DesRoundKeys{};

namespace {

// ---- The tables of FIPS 46-3, as printed there: entry i names the input bit (counted from 1,
// most significant first) that becomes output bit i + 1. -------------------------------------

constexpr std::array<std::uint8_t, 64> InitialPermutation{
    58, 50, 42, 34, 26, 18, 10, 2, //
    60, 52, 44, 36, 28, 20, 12, 4, //
    62, 54, 46, 38, 30, 22, 14, 6, //
    64, 56, 48, 40, 32, 24, 16, 8, //
    57, 49, 41, 33, 25, 17, 9,  1, //
    59, 51, 43, 35, 27, 19, 11, 3, //
    61, 53, 45, 37, 29, 21, 13, 5, //
    63, 55, 47, 39, 31, 23, 15, 7,
};

constexpr std::array<std::uint8_t, 64> InverseInitialPermutation{
    40, 8, 48, 16, 56, 24, 64, 32, //
    39, 7, 47, 15, 55, 23, 63, 31, //
    38, 6, 46, 14, 54, 22, 62, 30, //
    37, 5, 45, 13, 53, 21, 61, 29, //
    36, 4, 44, 12, 52, 20, 60, 28, //
    35, 3, 43, 11, 51, 19, 59, 27, //
    34, 2, 42, 10, 50, 18, 58, 26, //
    33, 1, 41, 9,  49, 17, 57, 25,
};

constexpr std::array<std::uint8_t, 48> Expansion{
    32, 1,  2,  3,  4,  5,  //
    4,  5,  6,  7,  8,  9,  //
    8,  9,  10, 11, 12, 13, //
    12, 13, 14, 15, 16, 17, //
    16, 17, 18, 19, 20, 21, //
    20, 21, 22, 23, 24, 25, //
    24, 25, 26, 27, 28, 29, //
    28, 29, 30, 31, 32, 1,
};

constexpr std::array<std::uint8_t, 32> Permutation{
    16, 7,  20, 21, //
    29, 12, 28, 17, //
    1,  15, 23, 26, //
    5,  18, 31, 10, //
    2,  8,  24, 14, //
    32, 27, 3,  9,  //
    19, 13, 30, 6,  //
    22, 11, 4,  25,
};

constexpr std::array<std::uint8_t, 56> PermutedChoice1{
    57, 49, 41, 33, 25, 17, 9,  //
    1,  58, 50, 42, 34, 26, 18, //
    10, 2,  59, 51, 43, 35, 27, //
    19, 11, 3,  60, 52, 44, 36, //
    63, 55, 47, 39, 31, 23, 15, //
    7,  62, 54, 46, 38, 30, 22, //
    14, 6,  61, 53, 45, 37, 29, //
    21, 13, 5,  28, 20, 12, 4,
};

constexpr std::array<std::uint8_t, 48> PermutedChoice2{
    14, 17, 11, 24, 1,  5,  //
    3,  28, 15, 6,  21, 10, //
    23, 19, 12, 4,  26, 8,  //
    16, 7,  27, 20, 13, 2,  //
    41, 52, 31, 37, 47, 55, //
    30, 40, 51, 45, 33, 48, //
    44, 49, 39, 56, 34, 53, //
    46, 42, 50, 36, 29, 32,
};

constexpr std::array<std::uint8_t, 16> LeftShifts{1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S1 to S8, four rows of sixteen columns each.
constexpr std::array<std::array<std::uint8_t, 64>, 8> SBoxes{{
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7, //
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8, //
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0, //
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, //
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,  //
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15, //
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8, //
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1, //
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7, //
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15, //
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,  //
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,  //
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,  //
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,  //
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14, //
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, //
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  //
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,  //
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1, //
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6, //
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2, //
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7, //
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2, //
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8, //
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
}};

// ---- Checks that catch a mistyped table at compile time. -----------------------------------

template <std::size_t N>
constexpr bool IsPermutationOf1To(const std::array<std::uint8_t, N>& table) {
    std::array<bool, N + 1> seen{};
    for (std::uint8_t v : table) {
        if (v < 1 || v > N || seen[v]) {
            return false;
        }
        seen[v] = true;
    }
    return true;
}

constexpr bool SBoxRowsArePermutations() {
    for (const auto& box : SBoxes) {
        for (std::size_t row = 0; row < 4; ++row) {
            unsigned seen = 0;
            for (std::size_t col = 0; col < 16; ++col) {
                seen |= 1U << box[row * 16 + col];
            }
            if (seen != 0xFFFF) {
                return false;
            }
        }
    }
    return true;
}

constexpr bool InversePermutationUndoesInitial() {
    for (std::size_t i = 0; i < 64; ++i) {
        if (InitialPermutation[InverseInitialPermutation[i] - 1] != i + 1) {
            return false;
        }
    }
    return true;
}

constexpr bool PermutedChoice1SkipsParityBits() {
    std::array<bool, 65> seen{};
    for (std::uint8_t v : PermutedChoice1) {
        if (v < 1 || v > 64 || v % 8 == 0 || seen[v]) {
            return false;
        }
        seen[v] = true;
    }
    return true;
}

constexpr bool PermutedChoice2DropsEightBits() {
    std::array<bool, 57> seen{};
    for (std::uint8_t v : PermutedChoice2) {
        if (v < 1 || v > 56 || seen[v]) {
            return false;
        }
        seen[v] = true;
    }
    return true;
}

constexpr unsigned SumOfShifts() {
    unsigned sum = 0;
    for (std::uint8_t s : LeftShifts) {
        sum += s;
    }
    return sum;
}

static_assert(IsPermutationOf1To(InitialPermutation));
static_assert(InversePermutationUndoesInitial());
static_assert(IsPermutationOf1To(Permutation));
static_assert(PermutedChoice1SkipsParityBits());
static_assert(PermutedChoice2DropsEightBits());
static_assert(SBoxRowsArePermutations());
static_assert(SumOfShifts() == 28, "C and D must come back to C0 and D0 after round 16");

// ---- Lookup tables generated from the standard's tables. -----------------------------------

// A bit selection from an InBits-wide value (right-aligned, bit 1 highest) to an OutBits-wide
// one, applied a byte at a time: each input byte value maps to the output bits it feeds.
template <std::size_t InBits, std::size_t OutBits> struct BitSelection {
    static_assert(InBits % 8 == 0 && InBits <= 64 && OutBits <= 64);
    std::array<std::array<std::uint64_t, 256>, InBits / 8> byByte{};

    constexpr std::uint64_t operator()(std::uint64_t in) const {
        std::uint64_t out = 0;
#pragma GCC unroll 8
        for (std::size_t b = 0; b < InBits / 8; ++b) {
            out |= byByte[b][(in >> (InBits - 8 * (b + 1))) & 0xFF];
        }
        return out;
    }
};

template <std::size_t InBits, std::size_t OutBits>
constexpr BitSelection<InBits, OutBits>
MakeSelection(const std::array<std::uint8_t, OutBits>& table) {
    // The output bits that each single input bit feeds (E feeds some bits twice).
    std::array<std::uint64_t, InBits> feeds{};
    for (std::size_t i = 0; i < OutBits; ++i) {
        feeds[table[i] - 1] |= std::uint64_t{1} << (OutBits - 1 - i);
    }
    BitSelection<InBits, OutBits> s;
    for (std::size_t b = 0; b < InBits / 8; ++b) {
        for (unsigned v = 1; v < 256; ++v) {
            const unsigned lowest = static_cast<unsigned>(std::countr_zero(v));
            s.byByte[b][v] = s.byByte[b][v & (v - 1)] | feeds[b * 8 + (7 - lowest)];
        }
    }
    return s;
}

constexpr auto Ip = MakeSelection<64, 64>(InitialPermutation);
constexpr auto IpInverse = MakeSelection<64, 64>(InverseInitialPermutation);
constexpr auto E = MakeSelection<32, 48>(Expansion);
constexpr auto P = MakeSelection<32, 32>(Permutation);
constexpr auto Pc1 = MakeSelection<64, 56>(PermutedChoice1);
constexpr auto Pc2 = MakeSelection<56, 48>(PermutedChoice2);

// ---- The rounds on 32-bit words. ------------------------------------------------------------
//
// Both halves are held rotated left by one bit from IP to IP^-1. E's eight windows of R then
// lie in whole bytes: those of S2, S4, S6 and S8 in the bytes of R itself (the last in the
// lowest byte), those of S1, S3, S5 and S7 in the bytes of R rotated right by four.

constexpr unsigned WindowShift(std::size_t j) {
    return static_cast<unsigned>(8 * (3 - j / 2));
}

// Window j (S-box j + 1) of a rotated half, the six bits that E hands to that S-box.
constexpr std::uint32_t Window(std::uint32_t rotatedHalf, std::size_t j) {
    const std::uint32_t word = j % 2 == 1 ? rotatedHalf : std::rotr(rotatedHalf, 4);
    return (word >> WindowShift(j)) & 0x3F;
}

// E as windows must agree with the standard's E table; both move single bits, so agreeing on
// every one-bit input means agreeing on all inputs.
constexpr bool WindowsMatchExpansionTable() {
    for (unsigned bit = 0; bit < 32; ++bit) {
        const std::uint32_t r = 1U << bit;
        std::uint64_t byWindows = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            byWindows = (byWindows << 6) | Window(std::rotl(r, 1), j);
        }
        if (byWindows != E(r)) {
            return false;
        }
    }
    return true;
}
static_assert(WindowsMatchExpansionTable());

// S-box j followed by P: P is a pure bit selection, so it can be applied to each S-box's four
// bits alone and the eight results joined. Indexed by a whole byte of the windows, whose top
// two bits (parts of other windows) select a copy of the same 64 entries, so that a look-up
// needs no mask; stored rotated, as the rounds hold the halves.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeSBoxesWithP() {
    std::array<std::array<std::uint32_t, 256>, 8> sp{};
    for (std::size_t j = 0; j < 8; ++j) {
        for (unsigned index = 0; index < 256; ++index) {
            const unsigned group = index & 0x3F;
            // Row from the first and last bit, column from the four middle bits.
            const unsigned row = ((group >> 4) & 0x2) | (group & 0x1);
            const unsigned col = (group >> 1) & 0xF;
            const std::uint64_t nibble = SBoxes[j][row * 16 + col];
            sp[j][index] = std::rotl(static_cast<std::uint32_t>(P(nibble << (28 - 4 * j))), 1);
        }
    }
    return sp;
}

alignas(64) constexpr auto SP = MakeSBoxesWithP();

// P sends each S-box's four bits to places of their own, so the entries of two S-boxes never
// share a bit: the rounds rely on it to join them with OR and + instead of XOR.
constexpr bool SBoxesFillDisjointBits() {
    std::uint32_t seen = 0;
    for (const auto& box : SP) {
        std::uint32_t bits = 0;
        for (std::uint32_t entry : box) {
            bits |= entry;
        }
        if ((seen & bits) != 0 || std::popcount(bits) != 4) {
            return false;
        }
        seen |= bits;
    }
    return true;
}
static_assert(SBoxesFillDisjointBits());

// A round key laid out as the windows are: each 6-bit group of Kn under the window it meets.
struct WindowedRoundKey {
    std::uint32_t s1357 = 0; // groups of S1, S3, S5, S7
    std::uint32_t s2468 = 0; // groups of S2, S4, S6, S8
};

constexpr WindowedRoundKey Windowed(std::uint64_t roundKey) {
    WindowedRoundKey k;
#pragma GCC unroll 4
    for (std::size_t j = 0; j < 8; j += 2) {
        const auto odd = static_cast<std::uint32_t>(roundKey >> (42 - 6 * j)) & 0x3F;
        const auto even = static_cast<std::uint32_t>(roundKey >> (36 - 6 * j)) & 0x3F;
        k.s1357 |= odd << WindowShift(j);
        k.s2468 |= even << WindowShift(j + 1);
    }
    return k;
}

// DesRoundKeys in the form the rounds read, written beside it by DesKeySchedule: once in the
// order of enciphering (K1 first) and once in that of deciphering (K16 first).
using WindowedSchedule = std::array<WindowedRoundKey, 16>;
std::array<WindowedSchedule, 2> WindowedRoundKeys{};

// One round: `l` exclusive-or f(R, Kn), with R held rotated.
inline std::uint32_t Round(std::uint32_t l, std::uint32_t rotatedR, const WindowedRoundKey& k) {
    const std::uint32_t even = rotatedR ^ k.s2468;
    const std::uint32_t odd = std::rotr(rotatedR, 4) ^ k.s1357;
    // The entries share no bit, so OR and + join them as XOR would; mixing the three keeps the
    // compiler from chaining the joins one after another. The odd windows, a rotation later
    // than the even ones, join last.
    const std::uint32_t fromEven = (SP[1][(even >> 24) & 0xFF] | SP[3][(even >> 16) & 0xFF]) +
                                   (SP[5][(even >> 8) & 0xFF] | SP[7][even & 0xFF]);
    const std::uint32_t fromOdd = (SP[0][(odd >> 24) & 0xFF] | SP[2][(odd >> 16) & 0xFF]) +
                                  (SP[4][(odd >> 8) & 0xFF] | SP[6][odd & 0xFF]);
    return (l ^ fromEven) ^ fromOdd;
}

// Exchanges the bits of `a` at mask << shift with those of `b` at mask.
constexpr void SwapBits(std::uint32_t& a, std::uint32_t& b, unsigned shift, std::uint32_t mask) {
    const std::uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// IP is a transpose of the block as an 8 x 8 bit matrix (with its rows and columns reordered):
// five exchanges of bit groups between the halves. Leaves L0 and R0 rotated as the rounds
// hold them.
constexpr void ApplyIp(std::uint32_t& l, std::uint32_t& r) {
    SwapBits(l, r, 4, 0x0F0F0F0F);
    SwapBits(l, r, 16, 0x0000FFFF);
    SwapBits(r, l, 2, 0x33333333);
    SwapBits(r, l, 8, 0x00FF00FF);
    SwapBits(l, r, 1, 0x55555555);
    l = std::rotl(l, 1);
    r = std::rotl(r, 1);
}

// IP^-1: the same exchanges in reverse order, from halves held rotated.
constexpr void ApplyIpInverse(std::uint32_t& l, std::uint32_t& r) {
    l = std::rotr(l, 1);
    r = std::rotr(r, 1);
    SwapBits(l, r, 1, 0x55555555);
    SwapBits(r, l, 8, 0x00FF00FF);
    SwapBits(r, l, 2, 0x33333333);
    SwapBits(l, r, 16, 0x0000FFFF);
    SwapBits(l, r, 4, 0x0F0F0F0F);
}

// Both must agree with the standard's tables on every single bit, as with E.
constexpr bool SwapsMatchPermutationTables() {
    for (unsigned bit = 0; bit < 64; ++bit) {
        const std::uint64_t in = std::uint64_t{1} << bit;
        std::uint32_t l = static_cast<std::uint32_t>(in >> 32);
        std::uint32_t r = static_cast<std::uint32_t>(in);
        ApplyIp(l, r);
        if (((std::uint64_t{std::rotr(l, 1)} << 32) | std::rotr(r, 1)) != Ip(in)) {
            return false;
        }
        l = std::rotl(static_cast<std::uint32_t>(in >> 32), 1);
        r = std::rotl(static_cast<std::uint32_t>(in), 1);
        ApplyIpInverse(l, r);
        if (((std::uint64_t{l} << 32) | r) != IpInverse(in)) {
            return false;
        }
    }
    return true;
}
static_assert(SwapsMatchPermutationTables());

constexpr std::uint32_t Rotate28(std::uint32_t half, unsigned by) {
    return ((half << by) | (half >> (28 - by))) & 0x0FFFFFFF;
}

std::uint64_t LoadBlock(const DesBlock& bytes) {
    std::uint64_t v = 0;
    for (std::uint8_t b : bytes) {
        v = (v << 8) | b;
    }
    return v;
}

inline std::uint32_t LoadWord(const DesBlock& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

inline void StoreWord(DesBlock& bytes, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }
}

void CipherBlock(const WindowedSchedule& keys, const DesBlock& input, DesBlock& output) {
    std::uint32_t l = LoadWord(input, 0);
    std::uint32_t r = LoadWord(input, 4);
    ApplyIp(l, r);
    // Two rounds a step, so that the halves need not be exchanged after each.
#pragma GCC unroll 8
    for (std::size_t n = 0; n < 16; n += 2) {
        l = Round(l, r, keys[n]);
        r = Round(r, l, keys[n + 1]);
    }
    // The halves leave the last round exchanged: R16 then L16.
    ApplyIpInverse(r, l);
    StoreWord(output, 0, r);
    StoreWord(output, 4, l);
}

} // namespace

void DesKeySchedule(const DesKey& key) {
    const std::uint64_t cd = Pc1(LoadBlock(key));
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28) & 0x0FFFFFFF;
    std::uint32_t d = static_cast<std::uint32_t>(cd) & 0x0FFFFFFF;
    for (std::size_t n = 0; n < 16; ++n) {
        c = Rotate28(c, LeftShifts[n]);
        d = Rotate28(d, LeftShifts[n]);
        const std::uint64_t k = Pc2((std::uint64_t{c} << 28) | d);
        for (std::size_t i = 0; i < 6; ++i) {
            DesRoundKeys[n][i] = static_cast<std::uint8_t>(k >> (40 - 8 * i));
        }
        WindowedRoundKeys[0][n] = Windowed(k);
        WindowedRoundKeys[1][15 - n] = WindowedRoundKeys[0][n];
    }
}

void DesCipherBlock(DesMode mode, const DesBlock& input, DesBlock& output) {
    CipherBlock(WindowedRoundKeys[mode == DesMode::Encipher ? 0 : 1], input, output);
}

} // namespace tvk9
