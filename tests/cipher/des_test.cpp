#include "cipher/des.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tvk9 {
namespace {

// 16 hex digits, most significant first, as the published vectors are printed.
DesBlock Hex64(std::string_view hex) {
    DesBlock b{};
    for (std::size_t i = 0; i < 8; ++i) {
        b[i] =
            static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    }
    return b;
}

DesRoundKey Hex48(std::string_view hex) {
    DesRoundKey k{};
    for (std::size_t i = 0; i < 6; ++i) {
        k[i] =
            static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    }
    return k;
}

DesBlock Apply(DesMode mode, const DesBlock& in) {
    DesBlock out{};
    DesCipherBlock(mode, in, out);
    return out;
}

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

void ExpectBothDirections(const KnownAnswer& v) {
    SCOPED_TRACE(std::string("key ") + v.key + " plain " + v.plain);
    DesKeySchedule(Hex64(v.key));
    EXPECT_EQ(Apply(DesMode::Encipher, Hex64(v.plain)), Hex64(v.cipher));
    EXPECT_EQ(Apply(DesMode::Decipher, Hex64(v.cipher)), Hex64(v.plain));
}

// The worked example that textbooks follow round by round.
TEST(DesKnownAnswers, ClassicWorkedExample) {
    ExpectBothDirections({"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"});
}

// Round keys of the same example: K1, K2 and K16 are printed in the walk-through; K1 checks
// PC-1, PC-2 and the first shift, K16 the whole shift schedule.
TEST(DesKeySchedule, RoundKeysOfClassicExample) {
    DesKeySchedule(Hex64("133457799BBCDFF1"));
    EXPECT_EQ(DesRoundKeys[0], Hex48("1B02EFFC7072"));
    EXPECT_EQ(DesRoundKeys[1], Hex48("79AED9DBC9E5"));
    EXPECT_EQ(DesRoundKeys[15], Hex48("CB3D8B0E17F5"));
}

// Variable-plaintext test: under the key whose only set bits are parity bits, each single set
// plaintext bit walks through IP, every S-box input and IP^-1.
TEST(DesKnownAnswers, VariablePlaintext) {
    const KnownAnswer vectors[] = {
        {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
        {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
        {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
        {"0101010101010101", "1000000000000000", "4BD388FF6CD81D4F"},
        {"0101010101010101", "0800000000000000", "20B9E767B2FB1456"},
        {"0101010101010101", "0400000000000000", "55579380D77138EF"},
        {"0101010101010101", "0200000000000000", "6CC5DEFAAF04512F"},
        {"0101010101010101", "0100000000000000", "0D9F279BA5D87260"},
        {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
    };
    for (const auto& v : vectors) {
        ExpectBothDirections(v);
    }
}

// Variable-key test: one key bit at a time, exercising PC-1, the shifts and PC-2.
TEST(DesKnownAnswers, VariableKey) {
    const KnownAnswer vectors[] = {
        {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
        {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
        {"2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
        {"1001010101010101", "0000000000000000", "D3746294CA6A6CF3"},
        {"0801010101010101", "0000000000000000", "809F5F873C1FD761"},
        {"0401010101010101", "0000000000000000", "C02FAFFEC989D1FC"},
        {"0201010101010101", "0000000000000000", "4615AA1D33E72F10"},
        {"0180010101010101", "0000000000000000", "2055123350C00858"},
    };
    for (const auto& v : vectors) {
        ExpectBothDirections(v);
    }
}

// Permutation-operation test: keys chosen so that each bit of P is exercised.
TEST(DesKnownAnswers, PermutationOperation) {
    const KnownAnswer vectors[] = {
        {"1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
        {"1007103489988020", "0000000000000000", "0C0CC00C83EA48FD"},
        {"10071034C8980120", "0000000000000000", "83BC8EF3A6570183"},
        {"1046103489988020", "0000000000000000", "DF725DCAD94EA2E9"},
    };
    for (const auto& v : vectors) {
        ExpectBothDirections(v);
    }
}

// Substitution-table test: pairs chosen so that every S-box entry is used.
TEST(DesKnownAnswers, SubstitutionTables) {
    const KnownAnswer vectors[] = {
        {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
        {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
        {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
        {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
        {"0113B970FD34F2CE", "059B5E0851CF143A", "86A560F10EC6D85B"},
        {"0170F175468FB5E6", "0756D8E0774761D2", "0CD3DA020021DC09"},
        {"43297FAD38E373FE", "762514B829BF486A", "EA676B2CB7DB2B7A"},
        {"07A7137045DA2A16", "3BDD119049372802", "DFD64A815CAF1A0F"},
        {"04689104C2FD3B2F", "26955F6835AF609A", "5C513C9C4886C088"},
        {"37D06BB516CB7546", "164D5E404F275232", "0A2AEEAE3FF4AB77"},
        {"1F08260D1AC2465E", "6B056E18759F5CCA", "EF1BF03E5DFA575A"},
        {"584023641ABA6176", "004BD6EF09176062", "88BF0DB6D70DEE56"},
        {"025816164629B007", "480D39006EE762F2", "A1F9915541020B56"},
        {"49793EBC79B3258F", "437540C8698F3CFA", "6FBF1CAFCFFD0556"},
        {"4FB05E1515AB73A7", "072D43A077075292", "2F22E49BAB7CA1AC"},
        {"49E95D6D4CA229BF", "02FE55778117F12A", "5A6B612CC26CCE4A"},
        {"018310DC409B26D6", "1D9D5C5018F728C2", "5F4C038ED12B2E41"},
        {"1C587F1C13924FEF", "305532286D6F295A", "63FAC0D034D9F793"},
    };
    for (const auto& v : vectors) {
        ExpectBothDirections(v);
    }
}

// Further published pairs: the all-zero and all-one keys (no key is refused, weak ones
// included) and the block of the ECB mode examples.
TEST(DesKnownAnswers, ExtremeKeysAndModeExample) {
    const KnownAnswer vectors[] = {
        {"0000000000000000", "0000000000000000", "8CA64DE9C1B123A7"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "7359B2163E4EDC58"},
        {"3000000000000000", "1000000000000001", "958E6E627A05557B"},
        {"1111111111111111", "1111111111111111", "F40379AB9E0EC533"},
        {"0123456789ABCDEF", "1111111111111111", "17668DFC7292532D"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "ED39D950FA74BCC4"},
        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    };
    for (const auto& v : vectors) {
        ExpectBothDirections(v);
    }
}

// Rivest's chained test: sixteen steps alternate enciphering and deciphering, each under its
// own input as the key, so that many keys and both directions meet in one published result.
TEST(DesKnownAnswers, ChainedSelfKeyedSequence) {
    DesBlock x = Hex64("9474B8E8C73BCA7D");
    for (int i = 0; i < 16; ++i) {
        DesKeySchedule(x);
        const DesBlock in = x;
        DesCipherBlock(i % 2 == 0 ? DesMode::Encipher : DesMode::Decipher, in, x);
    }
    EXPECT_EQ(x, Hex64("1B1A2DDB4C642438"));
}

TEST(DesCipherBlock, DecipherUndoesEncipherForRandomKeysAndBlocks) {
    std::mt19937_64 rng(20260101);
    for (int trial = 0; trial < 200; ++trial) {
        DesKey key{};
        DesBlock block{};
        for (auto& b : key) {
            b = static_cast<std::uint8_t>(rng());
        }
        for (auto& b : block) {
            b = static_cast<std::uint8_t>(rng());
        }
        DesKeySchedule(key);
        const DesBlock sealed = Apply(DesMode::Encipher, block);
        EXPECT_NE(sealed, block);
        EXPECT_EQ(Apply(DesMode::Decipher, sealed), block);
    }
}

// `blocks` through `openssl enc` in ECB mode under `key`, as another implementation does it.
std::vector<DesBlock> OpenSslEcb(DesMode mode, const DesKey& key,
                                 const std::vector<DesBlock>& blocks) {
    const TempDir dir("tvk9-openssl");
    std::ofstream(dir / "in", std::ios::binary)
        .write(reinterpret_cast<const char*>(blocks.data()), std::ssize(blocks) * 8);
    std::string command = "openssl enc -des-ecb -provider legacy -provider default -nopad -K ";
    for (std::uint8_t b : key) {
        command += "0123456789ABCDEF"[b >> 4];
        command += "0123456789ABCDEF"[b & 0xF];
    }
    command += (mode == DesMode::Decipher ? " -d" : "") + std::string(" -in '") +
               (dir / "in").string() + "' -out '" + (dir / "out").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<DesBlock> out(blocks.size());
    std::ifstream(dir / "out", std::ios::binary)
        .read(reinterpret_cast<char*>(out.data()), std::ssize(out) * 8);
    return out;
}

// Random keys and blocks, both directions, against OpenSSL's single DES (its legacy provider).
TEST(DesCipherBlock, AgreesWithOpenSslOnRandomKeysAndBlocks) {
#ifdef _WIN32
    GTEST_SKIP() << "the openssl program runs on the build machine, not under Windows or Wine";
#endif
    std::mt19937_64 rng(4631);
    for (int trial = 0; trial < 10; ++trial) {
        DesKey key{};
        std::vector<DesBlock> blocks(16);
        for (auto& b : key) {
            b = static_cast<std::uint8_t>(rng());
        }
        for (auto& block : blocks) {
            for (auto& b : block) {
                b = static_cast<std::uint8_t>(rng());
            }
        }
        DesKeySchedule(key);
        for (DesMode mode : {DesMode::Encipher, DesMode::Decipher}) {
            const std::vector<DesBlock> theirs = OpenSslEcb(mode, key, blocks);
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                EXPECT_EQ(Apply(mode, blocks[i]), theirs[i]) << "trial " << trial << " block " << i;
            }
        }
    }
}

TEST(DesCipherBlock, LeavesInputAloneAndMayWorkInPlace) {
    DesKeySchedule(Hex64("133457799BBCDFF1"));
    const DesBlock plain = Hex64("0123456789ABCDEF");
    DesBlock input = plain;
    DesBlock output{};
    DesCipherBlock(DesMode::Encipher, input, output);
    EXPECT_EQ(input, plain);

    DesBlock inPlace = plain;
    DesCipherBlock(DesMode::Encipher, inPlace, inPlace);
    EXPECT_EQ(inPlace, output);
    DesCipherBlock(DesMode::Decipher, inPlace, inPlace);
    EXPECT_EQ(inPlace, plain);
}

// The lowest bit of every key byte is a parity bit: neither checked nor used.
TEST(DesKeySchedule, ParityBitsTakeNoPart) {
    const DesKey key = Hex64("133457799BBCDFF1");
    DesKeySchedule(key);
    const auto roundKeys = DesRoundKeys;
    const DesBlock reference = Apply(DesMode::Encipher, Hex64("0123456789ABCDEF"));

    for (unsigned flips : {0x01U, 0x80U, 0xA5U, 0xFFU}) {
        DesKey flipped = key;
        for (std::size_t i = 0; i < 8; ++i) {
            if (flips & (1U << i)) {
                flipped[i] ^= 0x01;
            }
        }
        DesKeySchedule(flipped);
        EXPECT_EQ(DesRoundKeys, roundKeys) << "parity flips " << flips;
        EXPECT_EQ(Apply(DesMode::Encipher, Hex64("0123456789ABCDEF")), reference);
    }

    // Any other bit does count.
    for (std::size_t bit = 1; bit < 8; ++bit) {
        DesKey changed = key;
        changed[3] ^= static_cast<std::uint8_t>(1U << bit);
        DesKeySchedule(changed);
        EXPECT_NE(DesRoundKeys, roundKeys) << "bit " << bit;
    }
}

// The all-zero key gives all-zero round keys and is used as given, not refused or adjusted.
TEST(DesKeySchedule, AllZeroKeyIsUsedAsGiven) {
    DesKeySchedule(DesKey{});
    for (const auto& k : DesRoundKeys) {
        EXPECT_EQ(k, DesRoundKey{});
    }
    const DesBlock block = Hex64("0000000000000000");
    EXPECT_EQ(Apply(DesMode::Encipher, block), Hex64("8CA64DE9C1B123A7"));
    // A weak key makes enciphering its own inverse.
    EXPECT_EQ(Apply(DesMode::Encipher, Apply(DesMode::Encipher, Hex64("0123456789ABCDEF"))),
              Hex64("0123456789ABCDEF"));
}

// A second schedule replaces every round key: nothing of the first key is left behind.
TEST(DesKeySchedule, RekeyingUsesOnlyTheNewKey) {
    const DesBlock plain = Hex64("0123456789ABCDEF");
    DesKeySchedule(Hex64("FEDCBA9876543210"));
    DesKeySchedule(Hex64("133457799BBCDFF1"));
    EXPECT_EQ(Apply(DesMode::Encipher, plain), Hex64("85E813540F0AB405"));
    DesKeySchedule(Hex64("FEDCBA9876543210"));
    EXPECT_EQ(Apply(DesMode::Encipher, plain), Hex64("ED39D950FA74BCC4"));
    EXPECT_NE(Apply(DesMode::Decipher, Hex64("85E813540F0AB405")), plain);
}

} // namespace
} // namespace tvk9
