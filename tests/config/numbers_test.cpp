#include "config/numbers.h"

#include "common/error.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tvk9 {
namespace {

std::string IntegerMessage(const std::string& text) {
    try {
        ParseWholeNumber(text);
    } catch (const Exception& e) {
        return e.what();
    }
    return "accepted";
}

std::string FloatMessage(const std::string& text, char separator = '.') {
    try {
        ParseDecimalNumber(text, separator);
    } catch (const Exception& e) {
        return e.what();
    }
    return "accepted";
}

TEST(WholeNumber, ReadsDecimalAndHexForms) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const std::vector<Case> cases{
        {"0", 0},
        {"1", 1},
        {"257", 257},
        {"+17", 17},
        {"-1", -1},
        {"   42", 42},
        {"  -42", -42},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"$11", 17},
        {"x1f", 31},
        {"X1F", 31},
        {"0x10", 16},
        {"0XaB", 171},
        {"-$10", -16},
        {" +0x7F", 127},
        {"$7FFFFFFF", INT32_MAX},
        {"$80000000", INT32_MIN},
        {"$FFFFFFFF", -1},
        {"-$FFFFFFFF", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseWholeNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(WholeNumber, RefusesEverythingElseWithTheTextInTheMessage) {
    const std::vector<std::string> refused{
        "",
        " ",
        "+",
        "-",
        "$",
        "0x",
        "-0x",
        "12 ", // nothing may follow, not even a blank
        "1 2",
        "\t1", // only spaces lead
        "1.0",
        "1e3",
        "+-1",
        "--1",
        "0x1G",
        "$-1",
        "2147483648",  // one above int32
        "-2147483649", // one below
        "99999999999999999999999",
        "$100000000", // 33 bits
        "0x123456789",
    };
    for (const std::string& text : refused) {
        EXPECT_EQ(IntegerMessage(text), "'" + text + "' is not a valid integer value");
    }
}

TEST(Numbers, AZeroByteIsNoEndOfText) {
    EXPECT_THROW(ParseWholeNumber(std::string("1\0", 2)), Exception);
    EXPECT_THROW(ParseDecimalNumber(std::string("1\0", 2), '.'), Exception);
}

TEST(WholeNumber, LowByteWrapsAsOnTheDevice) {
    EXPECT_EQ(LowByte(257), 1);
    EXPECT_EQ(LowByte(-1), 255);
    EXPECT_EQ(LowByte(-256), 0);
    EXPECT_EQ(LowByte(INT32_MIN), 0);
    EXPECT_EQ(LowByte(ParseWholeNumber("$11")), 17);
    EXPECT_EQ(LowByte(ParseWholeNumber("-$1")), 255);
}

TEST(DecimalNumber, ReadsTheFormsOfTheGrammar) {
    struct Case {
        const char* text;
        char separator;
        long double value;
    };
    // The full stop reads also where another separator is the user's.
    const std::vector<Case> cases{
        {"1", '.', 1.0L},       {"1.5", '.', 1.5L},     {".5", '.', 0.5L},
        {"5.", '.', 5.0L},      {"-0.25", '.', -0.25L}, {"+2.5", '.', 2.5L},
        {"  2.5  ", '.', 2.5L}, {"1,5", ',', 1.5L},     {",5", ',', 0.5L},
        {"1e2", '.', 100.0L},   {"1E+2", '.', 100.0L},  {"25e-1", '.', 2.5L},
        {"1.5e1", '.', 15.0L},  {"1.e1", '.', 10.0L},   {"1,5E1 ", ',', 15.0L},
        {"007.25", '.', 7.25L}, {"1.5", ',', 1.5L},     {"-.5e1", ',', -5.0L},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseDecimalNumber(c.text, c.separator), c.value)
            << '"' << c.text << "\" with '" << c.separator << "'";
    }
}

TEST(DecimalNumber, RefusesEverythingElseWithTheTextInTheMessage) {
    struct Case {
        std::string text;
        char separator;
    };
    const std::vector<Case> refused{
        {"", '.'},        {"   ", '.'},   {".", '.'},     {"-", '.'},   {"+.", '.'},
        {"1.5,2", ','},   {"1,5.2", ','}, {"1,5,2", ','}, // at most one separator
        {"1,5", '.'},     {"1.2.3", '.'}, {"1..2", '.'},  {"1e", '.'},  {"1e+", '.'},
        {"e5", '.'},      {"1e5.5", '.'}, {"1 .5", '.'},  {"- 1", '.'}, {"\t1", '.'},
        {"1\t", '.'},     {"1x", '.'},    {"0x1p3", '.'}, {"inf", '.'}, {"nan", '.'},
        {"1e99999", '.'}, // beyond the range of long double
        {"-1e5000", '.'},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(FloatMessage(c.text, c.separator),
                  "'" + c.text + "' is not a valid floating point value");
    }
}

TEST(DecimalNumber, TooSmallForLongDoubleReadsAsZero) {
    EXPECT_EQ(ParseDecimalNumber("1e-99999", '.'), 0.0L);
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("-1e-5000", '.')), 10);
}

TEST(Scaling, TruncatesTowardZeroAndKeepsTheLowByte) {
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("0.7", '.')), 17);
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("-0.05", '.')), 9); // 9.5 truncated
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("1.5", '.')), 25);
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("0.35", '.')), 13);  // 13.5 truncated
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("-1.2", '.')), 254); // -2
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("-1.05", '.')), 0);  // -0.5 truncates to 0
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("2.55", '.')), 25);
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("25.6", '.')), 0); // 256
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("-0.1", '.')), 255);
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("-0.05", '.')), 0); // -0.5 truncates to 0
}

// Seventeen significant digits lie within a 64-bit mantissa but not within a double's: read
// and scaled in double these would round up to 17 and 256.
TEST(Scaling, KeepsTheDigitsThatLongDoubleHolds) {
    EXPECT_EQ(ScaleAxis(ParseDecimalNumber("0.69999999999999999", '.')), 16);
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("25.599999999999999", '.')), 255);
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("-1.9999999999999999", '.')), 256 - 19);
}

// Every number of up to two decimal places below 1000 in size scales to the exact decimal
// result truncated toward zero, computed here in integers.
TEST(Scaling, AgreesWithExactDecimalArithmeticForTwoPlaces) {
    const auto lowByte = [](long long v) { return static_cast<int>(((v % 256) + 256) % 256); };
    int mismatches = 0;
    for (long long hundredths = -99999; hundredths <= 99999; ++hundredths) {
        const long long magnitude = hundredths < 0 ? -hundredths : hundredths;
        char text[32];
        std::snprintf(text, sizeof text, "%s%lld.%02lld", hundredths < 0 ? "-" : "",
                      magnitude / 100, magnitude % 100);
        const long double x = ParseDecimalNumber(text, '.');
        // x * 10 = hundredths / 10; C++ integer division truncates toward zero.
        const int axis = lowByte((hundredths + 100) / 10);
        const int parameter = lowByte(hundredths / 10);
        if (ScaleAxis(x) != axis || ScaleParameter(x) != parameter) {
            ADD_FAILURE() << text << ": axis " << int{ScaleAxis(x)} << " not " << axis
                          << ", parameter " << int{ScaleParameter(x)} << " not " << parameter;
            if (++mismatches == 10) {
                return;
            }
        }
    }
}

TEST(Scaling, KeepsTheLowBitsOfHugeValuesExactly) {
    // 2^62 + 2 times 10 is 10 * 2^62 + 20, exact in a 64-bit mantissa and beyond int64.
    const long double big = std::ldexp(1.0L, 62) + 2.0L;
    EXPECT_EQ(ScaleParameter(big), 20);
    EXPECT_EQ(ScaleParameter(-big), 256 - 20);
    // From 2^71 on no bit below the eighth is left; an overflow to infinity is the same.
    EXPECT_EQ(ScaleParameter(std::ldexp(1.0L, 71) / 10 * 3), 0);
    EXPECT_EQ(ScaleParameter(LDBL_MAX), 0);
    EXPECT_EQ(ScaleAxis(-LDBL_MAX), 0);
    EXPECT_EQ(ScaleParameter(ParseDecimalNumber("1e4000", '.')), 0);
}

// A program that switched to a decimal comma (the settings tool does for a moment) reads 1.5.
TEST(ParseDecimalNumber, FollowsTheCRulesWhateverTheProcesssLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "German"))
        GTEST_SKIP() << "no locale with a decimal comma is installed here";
    EXPECT_EQ(ParseDecimalNumber("1.5", '.'), 1.5L);
    EXPECT_EQ(ParseDecimalNumber("-2,25", ','), -2.25L);
    EXPECT_STREQ(std::localeconv()->decimal_point, ","); // the process's rules are back
    std::setlocale(LC_NUMERIC, before.c_str());
}

} // namespace
} // namespace tvk9
