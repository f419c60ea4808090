// DecipherHexStr against what a hex line and a key allow: the exact error for a bad digit and
// nothing else thrown, never more bytes than whole blocks, no trailing zero byte, and a result
// that enciphers back to the very bytes the hex spells (the stripped zeros filled in again).

#include "cipher/codec.h"
#include "cipher/des.h"
#include "common/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// -1 for anything but the 22 hex digit characters.
int Nibble(char c) {
    static constexpr char lower[] = "0123456789abcdef";
    static constexpr char upper[] = "0123456789ABCDEF";
    for (int v = 0; v < 16; ++v) {
        if (c == lower[v] || c == upper[v]) {
            return v;
        }
    }
    return -1;
}

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // First byte: length of the key (0 to 16); then the key; the rest is the hex line.
    const std::size_t keyLength = std::min<std::size_t>(data[0] % 17, size - 1);
    const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
    const std::string hex(reinterpret_cast<const char*>(data + 1 + keyLength),
                          size - 1 - keyLength);

    const std::size_t pairs = hex.size() / 2;
    bool allHex = true;
    std::string bytes;
    for (std::size_t i = 0; i < pairs; ++i) {
        const int hi = Nibble(hex[2 * i]);
        const int lo = Nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            allHex = false;
            break;
        }
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }

    tvk9::DesKeySchedule({'s', 'e', 'n', 't', 'i', 'n', 'e', 'l'});
    const auto roundKeysBefore = tvk9::DesRoundKeys;

    std::string plain;
    try {
        plain = tvk9::DecipherHexStr(hex, key);
    } catch (const tvk9::Exception& e) {
        Check(!allHex);
        Check(std::strcmp(e.what(), "Error: not a Hex String") == 0);
        Check(tvk9::DesRoundKeys == roundKeysBefore);
        return 0;
    }
    Check(allHex);

    const std::size_t blocks = bytes.size() / 8;
    Check(plain.size() <= blocks * 8);
    Check(plain.empty() || plain.back() != '\0');

    // Encipher back under the key as a producer makes it: zero-filled or cut to 8 bytes.
    std::string producerKey = key;
    producerKey.resize(8, '\0');
    tvk9::DesKey desKey{};
    for (std::size_t i = 0; i < 8; ++i) {
        desKey[i] = static_cast<std::uint8_t>(producerKey[i]);
    }
    tvk9::DesKeySchedule(desKey);
    std::string filled = plain;
    filled.resize(blocks * 8, '\0');
    for (std::size_t k = 0; k < blocks; ++k) {
        tvk9::DesBlock in{};
        for (std::size_t i = 0; i < 8; ++i) {
            in[i] = static_cast<std::uint8_t>(filled[8 * k + i]);
        }
        tvk9::DesBlock sealed{};
        tvk9::DesCipherBlock(tvk9::DesMode::Encipher, in, sealed);
        for (std::size_t i = 0; i < 8; ++i) {
            Check(sealed[i] == static_cast<std::uint8_t>(bytes[8 * k + i]));
        }
    }
    return 0;
}
