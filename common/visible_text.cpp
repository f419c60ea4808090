#include "common/visible_text.h"

#include <cstdint>

namespace tvk9 {

std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    // Over-long forms, surrogates and values past U+10FFFF are not UTF-8.
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

bool IsControlCharacter(std::string_view text, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (length == 1) {
        return lead < 0x20 || lead == 0x7F;
    }
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0;
}

std::string VisibleText(std::string_view text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        // A byte of no sequence may be a C1 control to a terminal that reads single bytes.
        const std::size_t escaped = length == 0 ? 1 : IsControlCharacter(text, length) ? length : 0;
        for (std::size_t i = 0; i < escaped; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            shown += "\\x";
            shown += Hex[c >> 4];
            shown += Hex[c & 0x0F];
        }
        if (escaped == 0) {
            shown.append(text.substr(0, length));
        }
        text.remove_prefix(escaped == 0 ? length : escaped);
    }
    return shown;
}

} // namespace tvk9
