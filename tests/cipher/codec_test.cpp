#include "cipher/codec.h"
#include "tools/settings/encode.h"

#include "common/error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tvk9 {
namespace {

using namespace std::string_literals;

void ExpectNotHex(const std::string& hex) {
    try {
        DecipherHexStr(hex, "key");
        ADD_FAILURE() << "no error for \"" << hex << "\"";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Error: not a Hex String") << "for \"" << hex << "\"";
    }
}

// The published ECB example: "Now is the time for all " under 0123456789ABCDEF. As a text key
// those are eight bytes, several above 0x7F.
TEST(DecipherHexStr, PublishedEcbExample) {
    const std::string key = "\x01\x23\x45\x67\x89\xAB\xCD\xEF"s;
    const std::string hex = "3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53";
    EXPECT_EQ(DecipherHexStr(hex, key), "Now is the time for all ");

    std::string lower;
    for (char c : hex) {
        lower += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    }
    EXPECT_EQ(DecipherHexStr(lower, key), "Now is the time for all ");

    const std::string raw = "\x3F\xA4\x0E\x8A\x98\x4D\x48\x15"s;
    EXPECT_EQ(DecipherStr(raw, key), "Now is t");
}

TEST(HexToInt, DigitsOfBothCasesAndTheirValues) {
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("0"), 0);
    EXPECT_EQ(HexToInt("9"), 9);
    EXPECT_EQ(HexToInt("A"), 10);
    EXPECT_EQ(HexToInt("f"), 15);
    EXPECT_EQ(HexToInt("4a"), 0x4A);
    EXPECT_EQ(HexToInt("4A"), 0x4A);
    EXPECT_EQ(HexToInt("fF"), 255);
    EXPECT_EQ(HexToInt("10"), 16);
    EXPECT_EQ(HexToInt("7fffffff"), 0x7FFFFFFF);
    // Longer strings wrap as 32-bit arithmetic does rather than overflowing.
    EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
    EXPECT_EQ(HexToInt("123456789"), 0x23456789);
}

TEST(HexToInt, AnyOtherCharacterIsRefused) {
    for (const std::string& bad : {"g"s, "G"s, " 1"s, "1 "s, "-1"s, "+1"s, "0x"s, "\0001"s, "1\0"s,
                                   "\x80"s, "\xC6"s, "@"s, "`"s, "/"s, ":"s}) {
        try {
            HexToInt(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Error: not a Hex String");
        }
    }
}

TEST(DecipherHexStr, OnlyWholeBlocksAreDeciphered) {
    const std::string key = "kdm382pa";
    EXPECT_EQ(DecipherHexStr("", key), "");
    // Less than one block gives nothing, whatever the digits and the key.
    EXPECT_EQ(DecipherHexStr("0123456789ABCDE", key), "");
    EXPECT_EQ(DecipherHexStr("FFFFFFFFFFFFFF", "other"), "");

    const std::string one = EncipherHexStr("vexnoc", key);
    ASSERT_EQ(one.size(), 16U);
    EXPECT_EQ(DecipherHexStr(one, key), "vexnoc");
    // An odd last character is dropped unread, even when it is no hex digit.
    EXPECT_EQ(DecipherHexStr(one + "Z", key), "vexnoc");
    EXPECT_EQ(DecipherHexStr(one + "7", key), "vexnoc");
    // 1 to 7 bytes after the last whole block are ignored: 40 digits are two blocks and four
    // bytes.
    const std::string two = EncipherHexStr("0123456789abcdef", key);
    EXPECT_EQ(DecipherHexStr(two + "DEADBEEF", key), "0123456789abcdef");
    EXPECT_EQ(DecipherHexStr(two + "00112233445566", key), "0123456789abcdef");
}

TEST(DecipherHexStr, NonHexCharacterInAnyPairRaises) {
    const std::string good = EncipherHexStr("25.6", "72vbnqdKWPXM");
    for (std::size_t at : {0U, 1U, 7U, 14U, 15U}) {
        std::string bad = good;
        bad[at] = 'g';
        ExpectNotHex(bad);
    }
    // Pairs beyond the whole blocks are still read as hex, so they still raise.
    ExpectNotHex(good + "0g");
    ExpectNotHex(good + " 1");
    ExpectNotHex("0x");
    ExpectNotHex("g0");
    ExpectNotHex(good.substr(0, 4) + "\0"s + good.substr(5));
}

TEST(DecipherHexStr, ErrorLeavesRoundKeysAsTheyWere) {
    DesKeySchedule(DesKeyFromText("previous"));
    const auto before = DesRoundKeys;
    ExpectNotHex("00112233445566778899AABBCCDDEEFF00112233445566G7");
    EXPECT_EQ(DesRoundKeys, before);
}

TEST(DesKeyFromText, ZeroFilledOrCutToEightBytes) {
    EXPECT_EQ(DesKeyFromText(""), DesKey{});
    EXPECT_EQ(DesKeyFromText("abc"), (DesKey{'a', 'b', 'c', 0, 0, 0, 0, 0}));
    EXPECT_EQ(DesKeyFromText("kdm382pa"), (DesKey{'k', 'd', 'm', '3', '8', '2', 'p', 'a'}));
    EXPECT_EQ(DesKeyFromText("Rt5wPq417mxne"), (DesKey{'R', 't', '5', 'w', 'P', 'q', '4', '1'}));
    EXPECT_EQ(DesKeyFromText("\0\xFF\0"s), (DesKey{0, 0xFF, 0, 0, 0, 0, 0, 0}));
}

TEST(DecipherStr, TextKeysThatAgreeInTheirFirstEightBytesAreOneKey) {
    const std::string hex = EncipherHexStr("1.5", "mv4tqeaxhwlr");
    EXPECT_EQ(DecipherHexStr(hex, "mv4tqeaxhwlr"), "1.5");
    EXPECT_EQ(DecipherHexStr(hex, "mv4tqeax"), "1.5");
    EXPECT_EQ(DecipherHexStr(hex, "mv4tqeax and anything after"), "1.5");
    EXPECT_NE(DecipherHexStr(hex, "mv4tqeaX"), "1.5");

    // A short key is the same key as itself followed by zero bytes; the empty key is all zeros.
    const std::string shortHex = EncipherHexStr("-0.05", "zbq");
    EXPECT_EQ(DecipherHexStr(shortHex, "zbq\0\0\0\0\0"s), "-0.05");
    EXPECT_EQ(DecipherHexStr(shortHex, "zbq"), "-0.05");
    const std::string emptyHex = EncipherHexStr("1", "");
    EXPECT_EQ(DecipherHexStr(emptyHex, "\0\0\0\0\0\0\0\0"s), "1");
    EXPECT_EQ(DecipherHexStr(emptyHex, ""), "1");
}

// Every call schedules its own key: an earlier call's key never lingers.
TEST(DecipherStr, NoKeyCarriesOverBetweenCalls) {
    const std::string a = EncipherHexStr("first", "key one");
    const std::string b = EncipherHexStr("second", "key two");
    EXPECT_EQ(DecipherHexStr(a, "key one"), "first");
    EXPECT_EQ(DecipherHexStr(b, "key two"), "second");
    EXPECT_EQ(DecipherHexStr(a, "key one"), "first");
    DesKeySchedule(DesKeyFromText("key two"));
    EXPECT_EQ(DecipherHexStr(a, "key one"), "first");
}

TEST(DecipherStr, OnlyTrailingZeroBytesAreStripped) {
    const std::string key = "PLQ7mzz61TB83";
    EXPECT_EQ(DecipherHexStr(EncipherHexStr("ab\0\0c"s, key), key), "ab\0\0c"s);
    EXPECT_EQ(DecipherHexStr(EncipherHexStr("\0lead"s, key), key), "\0lead"s);
    // Zeros that the plain text itself ends with go with the filling.
    EXPECT_EQ(DecipherHexStr(EncipherHexStr("text\0\0"s, key), key), "text");
    EXPECT_EQ(DecipherHexStr(EncipherHexStr("12345678\0\0\0\0\0\0\0\0"s, key), key), "12345678");

    // A block of eight zero bytes alone comes back empty; before a block that ends in a
    // non-zero byte it stays whole.
    const std::string zeros = EncipherHexStr("\0\0\0\0\0\0\0\0"s, key);
    ASSERT_EQ(zeros.size(), 16U);
    EXPECT_EQ(DecipherHexStr(zeros, key), "");
    const std::string tail = EncipherHexStr("1234567x", key);
    EXPECT_EQ(DecipherHexStr(zeros + tail, key), std::string(8, '\0') + "1234567x");
    // Bytes of every value, zero and 0xFF included, pass through.
    std::string all;
    for (int v = 1; v < 256; ++v) {
        all += static_cast<char>(v);
    }
    all += '\0';
    all += '\x01';
    EXPECT_EQ(DecipherHexStr(EncipherHexStr(all, key), key), all);
}

TEST(DecipherStr, ShortOrForeignCipherTextIsNoError) {
    EXPECT_EQ(DecipherStr("", "key"), "");
    EXPECT_EQ(DecipherStr("1234567", "key"), "");
    EXPECT_EQ(DecipherStr("\0\0\0"s, ""), "");
    // Text never made under this key still deciphers: eight meaningless bytes at most.
    EXPECT_LE(DecipherStr("12345678", "key").size(), 8U);
    EXPECT_NO_THROW(DecipherHexStr(EncipherHexStr("vexnoc", "kdm382pa"), "wrong"));
}

} // namespace
} // namespace tvk9
