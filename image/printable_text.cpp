#include "image/printable_text.h"

#include <array>

std::string PrintableText(std::string_view text) {
    static constexpr std::array<char, 16> hexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                       '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    std::string shown;
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (character == '\\') shown += "\\\\";
        else if (character == '\t') shown += "\\t";
        else if (character == '\r') shown += "\\r";
        else if (byte >= 0x20 && byte < 0x7F) shown += character;
        else shown += {'\\', 'x', hexDigits[byte >> 4], hexDigits[byte & 0xF]};
    }
    return shown;
}
