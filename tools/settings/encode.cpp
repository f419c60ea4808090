#include "tools/settings/encode.h"

#include "cipher/codec.h"
#include "cipher/des.h"

#include <algorithm>

namespace tvk9 {

std::string EncipherHexStr(std::string_view plain, std::string_view key) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    DesKeySchedule(DesKeyFromText(key));
    std::string hex;
    hex.reserve((plain.size() + 7) / 8 * 16);
    for (std::size_t at = 0; at < plain.size(); at += 8) {
        DesBlock block{}; // the zero filling of a short last block
        const std::size_t count = std::min<std::size_t>(8, plain.size() - at);
        std::copy_n(plain.begin() + static_cast<std::ptrdiff_t>(at), count, block.begin());
        DesCipherBlock(DesMode::Encipher, block, block);
        for (const std::uint8_t byte : block) {
            hex.push_back(Digits[byte >> 4]);
            hex.push_back(Digits[byte & 0x0F]);
        }
    }
    return hex;
}

std::string EncodeSettingsFile(const SettingsLines& plain) {
    std::string file;
    for (std::size_t line = 0; line < SettingsLineCount; ++line) {
        file += EncipherHexStr(plain[line], SettingsLineKeys[line]);
        file += "\r\n";
    }
    return file;
}

} // namespace tvk9
