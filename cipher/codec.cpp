#include "cipher/codec.h"

#include "common/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace tvk9 {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

int HexToInt(std::string hex) {
    // Unsigned so that an over-long string wraps instead of overflowing a signed int.
    std::uint32_t value = 0;
    for (char c : hex) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            throw Exception("Error: not a Hex String");
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(value);
}

DesKey DesKeyFromText(std::string_view key) {
    DesKey k{};
    const std::size_t n = std::min(key.size(), k.size());
    for (std::size_t i = 0; i < n; ++i) {
        k[i] = static_cast<std::uint8_t>(key[i]);
    }
    return k;
}

std::string DecipherStr(std::string cipherText, std::string key) {
    DesKeySchedule(DesKeyFromText(key));
    const std::size_t blocks = cipherText.size() / 8;
    std::string plain;
    plain.reserve(blocks * 8);
    for (std::size_t k = 0; k < blocks; ++k) {
        DesBlock in{};
        for (std::size_t i = 0; i < 8; ++i) {
            in[i] = static_cast<std::uint8_t>(cipherText[8 * k + i]);
        }
        DesBlock out{};
        DesCipherBlock(DesMode::Decipher, in, out);
        for (std::uint8_t b : out) {
            plain.push_back(static_cast<char>(b));
        }
    }
    while (!plain.empty() && plain.back() == '\0') {
        plain.pop_back();
    }
    return plain;
}

std::string DecipherHexStr(std::string hexText, std::string key) {
    const std::size_t n = hexText.size() / 2;
    std::string bytes;
    bytes.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes.push_back(static_cast<char>(HexToInt(hexText.substr(2 * i, 2))));
    }
    return DecipherStr(std::move(bytes), std::move(key));
}

} // namespace tvk9
