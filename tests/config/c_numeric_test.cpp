// Decimal numbers read the same whatever the process's locale: a program that switched to a
// locale with a decimal comma (as the settings tool does for a moment) must not turn 1.5 into 1.

#include "config/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace tvk9 {
namespace {

TEST(CNumericRules, HoldWhileTheProcessUsesADecimalComma) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE", "German_Germany.1252"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            comma = name;
            break;
        }
    }
    if (comma == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed here";
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");

    EXPECT_EQ(ParseDecimalNumber("1.5", '.'), 1.5L);
    EXPECT_EQ(ParseDecimalNumber("-2,25", ','), -2.25L);
    // The process's own rules are back afterwards.
    EXPECT_EQ(std::string(std::localeconv()->decimal_point), ",") << comma;
    std::setlocale(LC_NUMERIC, before.c_str());
}

} // namespace
} // namespace tvk9
