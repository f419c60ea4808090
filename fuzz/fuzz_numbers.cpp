// The settings file's number conversions against a separate reading of their grammar: whole
// numbers must match it value for value; decimal numbers must be accepted exactly when the
// grammar allows and the value fits a long double, and must equal an exactly computed value
// wherever one rounding step gives it. Only tvk9::Exception with the exact text may escape.

#include "common/error.h"
#include "config/numbers.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (Digit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool StartsWith(const std::string& s, std::size_t at, const char* prefix) {
    return s.compare(at, std::string(prefix).size(), prefix) == 0;
}

std::optional<std::int32_t> ReferenceWhole(const std::string& text) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) {
        return std::nullopt;
    }
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') {
        ++i;
    }
    int base = 10;
    for (const char* prefix : {"0x", "0X", "$", "x", "X"}) {
        if (StartsWith(text, i, prefix)) {
            base = 16;
            i += std::string(prefix).size();
            break;
        }
    }
    if (i >= text.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = HexValue(text[i]);
        if (d < 0 || d >= base) {
            return std::nullopt;
        }
        value = std::min<std::uint64_t>(value * base + d, std::uint64_t{1} << 40);
    }
    if (base == 16) {
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
        const std::uint32_t bits = static_cast<std::uint32_t>(value);
        return static_cast<std::int32_t>(negative ? ~bits + 1 : bits);
    }
    const std::int64_t signedValue =
        negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(signedValue);
}

struct DecimalParts {
    bool negative = false;
    std::string digits;  // integer digits then fraction digits
    long long scale = 0; // value = digits * 10^scale
};

std::optional<DecimalParts> ReferenceDecimalGrammar(const std::string& text, char separator) {
    DecimalParts parts;
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) {
        return std::nullopt;
    }
    if (text[i] == '-' || text[i] == '+') {
        parts.negative = text[i] == '-';
        ++i;
    }
    bool separatorSeen = false;
    long long fractionDigits = 0;
    for (; i < text.size(); ++i) {
        if (Digit(text[i])) {
            parts.digits += text[i];
            fractionDigits += separatorSeen ? 1 : 0;
        } else if ((text[i] == separator || text[i] == '.') && !separatorSeen) {
            separatorSeen = true;
        } else {
            break;
        }
    }
    if (parts.digits.empty()) {
        return std::nullopt;
    }
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        const std::size_t first = i;
        for (; i < text.size() && Digit(text[i]); ++i) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1000000000LL);
        }
        if (i == first) {
            return std::nullopt;
        }
        exponent = negativeExponent ? -exponent : exponent;
    }
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    parts.scale = exponent - fractionDigits;
    // Leading zeros change nothing; trailing zeros move into the scale.
    const std::size_t firstNonZero = parts.digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        parts.digits.clear();
        parts.scale = 0;
        return parts;
    }
    parts.digits.erase(0, firstNonZero);
    while (parts.digits.back() == '0') {
        parts.digits.pop_back();
        ++parts.scale;
    }
    return parts;
}

void CheckDecimal(const std::string& text, char separator) {
    const auto parts = ReferenceDecimalGrammar(text, separator);
    std::optional<long double> value;
    try {
        value = tvk9::ParseDecimalNumber(text, separator);
    } catch (const tvk9::Exception& e) {
        // what() ends at the first zero byte of the text, as any C string would.
        const std::string expected = "'" + text + "' is not a valid floating point value";
        Check(std::strcmp(e.what(), expected.c_str()) == 0);
    }
    if (!parts) {
        Check(!value);
        return;
    }
    // Decimal exponent of the leading digit; long double ends near 1.19e4932.
    const long long magnitude = parts->scale + static_cast<long long>(parts->digits.size()) - 1;
    if (parts->digits.empty() || magnitude <= 4931) {
        Check(value.has_value());
    } else if (magnitude >= 4933) {
        Check(!value);
    }
    if (!value) {
        return;
    }
    Check(std::isfinite(*value));
    Check(parts->digits.empty() ? *value == 0 : (*value < 0) == parts->negative || *value == 0);

    // Up to 18 digits and powers of ten up to 10^27 are exact in a 64-bit mantissa, so one
    // multiplication or division gives the correctly rounded value.
    if (parts->digits.size() <= 18 && parts->scale >= -27 && parts->scale <= 27) {
        long double mantissa = 0;
        for (char c : parts->digits) {
            mantissa = mantissa * 10 + (c - '0');
        }
        long double power = 1;
        for (long long k = 0; k < (parts->scale < 0 ? -parts->scale : parts->scale); ++k) {
            power *= 10;
        }
        long double exact = parts->scale < 0 ? mantissa / power : mantissa * power;
        exact = parts->negative ? -exact : exact;
        Check(*value == exact);
    }

    // The low byte of the scaled value, taken another way where an int64 holds it.
    const long double x = *value;
    if (std::fabs(x) < 1e17L) {
        Check(tvk9::ScaleParameter(x) ==
              static_cast<std::uint8_t>(static_cast<std::int64_t>(x * 10.0L)));
        Check(tvk9::ScaleAxis(x) ==
              static_cast<std::uint8_t>(static_cast<std::int64_t>(x * 10.0L + 10.0L)));
    } else if (std::fabs(x) >= 0x1p71L) {
        Check(tvk9::ScaleParameter(x) == 0);
        Check(tvk9::ScaleAxis(x) == 0);
    }
}

void CheckWhole(const std::string& text) {
    const auto expected = ReferenceWhole(text);
    try {
        const std::int32_t value = tvk9::ParseWholeNumber(text);
        Check(expected.has_value() && *expected == value);
        Check(tvk9::LowByte(value) == static_cast<std::uint8_t>(value & 0xFF));
    } catch (const tvk9::Exception& e) {
        Check(!expected.has_value());
        const std::string expected = "'" + text + "' is not a valid integer value";
        Check(std::strcmp(e.what(), expected.c_str()) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // First byte: which conversion, and the regional decimal separator.
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        CheckWhole(text);
        break;
    case 1:
        CheckDecimal(text, '.');
        break;
    default:
        CheckDecimal(text, ',');
        break;
    }
    return 0;
}
