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

// S-box j followed by P, indexed by the 6-bit group: P is a pure bit selection, so it can be
// applied to each S-box's four bits alone and the eight results joined by OR.
constexpr std::array<std::array<std::uint32_t, 64>, 8> MakeSBoxesWithP() {
    std::array<std::array<std::uint32_t, 64>, 8> sp{};
    for (std::size_t j = 0; j < 8; ++j) {
        for (unsigned group = 0; group < 64; ++group) {
            // Row from the first and last bit, column from the four middle bits.
            const unsigned row = ((group >> 4) & 0x2) | (group & 0x1);
            const unsigned col = (group >> 1) & 0xF;
            const std::uint64_t nibble = SBoxes[j][row * 16 + col];
            sp[j][group] = static_cast<std::uint32_t>(P(nibble << (28 - 4 * j)));
        }
    }
    return sp;
}

constexpr auto SP = MakeSBoxesWithP();

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

std::uint64_t LoadRoundKey(const DesRoundKey& bytes) {
    std::uint64_t v = 0;
    for (std::uint8_t b : bytes) {
        v = (v << 8) | b;
    }
    return v;
}

// E cuts R into eight overlapping windows of six bits, window j being bits 4j to 4j + 5 with
// the ends wrapped round (bit 0 is bit 32, bit 33 is bit 1). With R widened by its last bit in
// front and its first bit behind, each window is a plain shift, cheaper than a table.
constexpr std::uint64_t Widened(std::uint32_t r) {
    return (std::uint64_t{r & 1} << 33) | (std::uint64_t{r} << 1) | (r >> 31);
}

constexpr std::uint64_t ExpansionGroup(std::uint64_t widened, std::size_t j) {
    return (widened >> (28 - 4 * j)) & 0x3F;
}

// The shortcut must agree with the standard's E table; both move single bits, so agreeing on
// every one-bit input means agreeing on all inputs.
constexpr bool WindowsMatchExpansionTable() {
    for (unsigned bit = 0; bit < 32; ++bit) {
        const std::uint32_t r = 1U << bit;
        std::uint64_t byWindows = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            byWindows = (byWindows << 6) | ExpansionGroup(Widened(r), j);
        }
        if (byWindows != E(r)) {
            return false;
        }
    }
    return true;
}
static_assert(WindowsMatchExpansionTable());

std::uint32_t CipherFunction(std::uint32_t r, std::uint64_t roundKey) {
    const std::uint64_t widened = Widened(r);
    std::uint32_t out = 0;
#pragma GCC unroll 8
    for (std::size_t j = 0; j < 8; ++j) {
        out |= SP[j][(ExpansionGroup(widened, j) ^ (roundKey >> (42 - 6 * j))) & 0x3F];
    }
    return out;
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
    }
}

void DesCipherBlock(DesMode mode, const DesBlock& input, DesBlock& output) {
    const std::uint64_t permuted = Ip(LoadBlock(input));
    std::uint32_t l = static_cast<std::uint32_t>(permuted >> 32);
    std::uint32_t r = static_cast<std::uint32_t>(permuted);
    std::array<std::uint64_t, 16> keys{};
    for (std::size_t n = 0; n < 16; ++n) {
        keys[n] = LoadRoundKey(DesRoundKeys[n]);
    }
    for (std::size_t round = 0; round < 16; ++round) {
        const std::size_t n = mode == DesMode::Encipher ? round : 15 - round;
        const std::uint32_t next = l ^ CipherFunction(r, keys[n]);
        l = r;
        r = next;
    }
    // The halves leave the last round exchanged: R16 then L16.
    const std::uint64_t result = IpInverse((std::uint64_t{r} << 32) | l);
    for (std::size_t i = 0; i < 8; ++i) {
        output[i] = static_cast<std::uint8_t>(result >> (56 - 8 * i));
    }
}

} // namespace tvk9
