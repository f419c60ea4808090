#include "config/numbers.h"

#include "cipher/codec.h"
#include "common/error.h"
#include "config/c_numeric.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tvk9 {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void NotAnInteger(const std::string& text) {
    throw Exception("'" + text + "' is not a valid integer value");
}

[[noreturn]] void NotAFloat(const std::string& text) {
    throw Exception("'" + text + "' is not a valid floating point value");
}

std::uint8_t LowByteOf(long double y) {
    // A value that overflowed, like any of 2^71 or more, is a multiple of 256.
    if (!std::isfinite(y)) {
        return 0;
    }
    long double r = std::fmod(std::trunc(y), 256.0L); // exact
    if (r < 0) {
        r += 256.0L;
    }
    return static_cast<std::uint8_t>(static_cast<int>(r));
}

} // namespace

std::int32_t ParseWholeNumber(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) {
        NotAnInteger(text);
    }
    // Accumulated as a magnitude in 64 bits; both limits below keep it far from overflow.
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const int digit = hex ? HexDigitValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) {
            NotAnInteger(text);
        }
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFu) {
            NotAnInteger(text);
        }
    }
    if (hex) {
        // Hex spells the 32 bits themselves: $FFFFFFFF is -1, and a sign negates that.
        auto bits = static_cast<std::uint32_t>(magnitude);
        if (negative) {
            bits = 0u - bits;
        }
        return static_cast<std::int32_t>(bits);
    }
    const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    if (magnitude > limit) {
        NotAnInteger(text);
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

long double ParseDecimalNumber(const std::string& text, char decimalSeparator) {
    // Checked here against our own grammar, then handed to strtold in a form it reads
    // exactly that way: no hex floats, no "inf", no locale of its own.
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        plain.push_back(text[i]);
        ++i;
    }
    bool anyDigit = false;
    bool separatorSeen = false;
    for (; i < n; ++i) {
        if (IsDigit(text[i])) {
            anyDigit = true;
            plain.push_back(text[i]);
        } else if ((text[i] == decimalSeparator || text[i] == '.') && !separatorSeen) {
            separatorSeen = true;
            plain.push_back('.');
        } else {
            break;
        }
    }
    if (!anyDigit) {
        NotAFloat(text);
    }
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        plain.push_back('e');
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            plain.push_back(text[i]);
            ++i;
        }
        const std::size_t firstExponentDigit = i;
        while (i < n && IsDigit(text[i])) {
            plain.push_back(text[i]);
            ++i;
        }
        if (i == firstExponentDigit) {
            NotAFloat(text);
        }
    }
    while (i < n && text[i] == ' ') {
        ++i;
    }
    if (i != n) {
        NotAFloat(text);
    }

    const CNumericScope cRules;
    errno = 0;
    char* end = nullptr;
    const long double value = std::strtold(plain.c_str(), &end);
    const bool overflow = errno == ERANGE && std::isinf(value);
    if (end != plain.c_str() + plain.size() || overflow) {
        NotAFloat(text);
    }
    return value; // an underflow reads as zero or the nearest tiny value
}

std::uint8_t LowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

std::uint8_t ScaleAxis(long double x) {
    const long double scaled = x * 10.0L;
    return LowByteOf(scaled + 10.0L);
}

std::uint8_t ScaleParameter(long double x) {
    return LowByteOf(x * 10.0L);
}

} // namespace tvk9
