#include "image/terminal_text.h"

#include <array>
#include <cstdint>

namespace {

void Escape(std::string& shown, unsigned char byte) {
    static constexpr std::array<char, 16> hexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                       '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    shown += {'\\', 'x', hexDigits[byte >> 4], hexDigits[byte & 0xF]};
}

// The length of the valid UTF-8 sequence at the start of `text` and its code
// point; 0 when it is not one (overlong, a surrogate, beyond U+10FFFF, cut).
std::size_t SequenceAt(std::string_view text, char32_t& point) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
    point = lead & (0x7F >> length);
    for (std::size_t at = 1; at < length; ++at) {
        const auto next = static_cast<unsigned char>(text[at]);
        if ((next & 0xC0) != 0x80) return 0;
        point = point << 6 | (next & 0x3F);
    }
    static constexpr std::array<char32_t, 5> smallest = {0, 0, 0x80, 0x800, 0x10000};
    if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

// On Windows a backslash separates folders and no name holds one: doubled,
// every path would read wrong.
#ifdef _WIN32
constexpr bool doubleBackslashes = false;
#else
constexpr bool doubleBackslashes = true;
#endif

}  // namespace

std::string TerminalText(std::string_view text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        char32_t point = 0;
        const std::size_t length = byte < 0x80 ? 1 : SequenceAt(text.substr(at), point);
        if (byte == '\\' && doubleBackslashes) shown += "\\\\";
        else if (byte == '\t') shown += "\\t";
        else if (byte == '\r') shown += "\\r";
        else if (byte >= 0x20 && byte < 0x7F) shown += text[at];
        else if (length > 1 && point > 0x9F) shown.append(text.substr(at, length));
        else if (length > 1) {
            for (std::size_t index = 0; index < length; ++index) Escape(shown, static_cast<unsigned char>(text[at + index]));
        } else Escape(shown, byte);
        at += length == 0 ? 1 : length;
    }
    return shown;
}
