#include "image/image_header.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "image/header_piece_reader.h"

namespace {

constexpr std::array<std::string_view, headerKeyCount> keyTexts = {
    "data type", "file type", "columns", "rows", "min. X",
    "min. Y",    "max. X",    "max. Y",  "flag value",
};

bool IsCSpace(char character) {
    return character == ' ' || (character >= '\t' && character <= '\r');
}

// A decimal integer as the C library reads one, clamped to 32 bits where it
// would otherwise overflow.
std::int32_t ReadInteger(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsCSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        magnitude = std::min(limit, magnitude * 10 + (text[at] - '0'));
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

double ReadReal(std::string_view text) {
    std::array<char, headerPieceLimit + 1> terminated{};
    std::copy_n(text.begin(), std::min(text.size(), headerPieceLimit), terminated.begin());
    return std::strtod(terminated.data(), nullptr);
}

// "data type" and "file type": only a recognised text changes the field.
template <typename Code, std::size_t count>
void ApplyNamedValue(std::string_view value, const std::array<std::string_view, count>& names,
                     Code& field) {
    for (std::size_t code = 1; code < count; ++code)
        if (value == names[code]) field = static_cast<Code>(code);
}

void ApplyHeaderLine(HeaderKey key, std::string_view value, ImageHeader& header) {
    static constexpr std::array<std::string_view, 4> dataTypeNames = {"", "byte", "integer", "real"};
    static constexpr std::array<std::string_view, 4> fileTypeNames = {"", "ascii", "binary",
                                                                      "packed binary"};
    header.keysRead.set(static_cast<int>(key));
    switch (key) {
        case HeaderKey::DataType: ApplyNamedValue(value, dataTypeNames, header.dataType); break;
        case HeaderKey::FileType: ApplyNamedValue(value, fileTypeNames, header.fileType); break;
        case HeaderKey::Columns: header.columns = ReadInteger(value); break;
        case HeaderKey::Rows: header.rows = ReadInteger(value); break;
        case HeaderKey::MinX: header.minX = ReadReal(value); break;
        case HeaderKey::MinY: header.minY = ReadReal(value); break;
        case HeaderKey::MaxX: header.maxX = ReadReal(value); break;
        case HeaderKey::MaxY: header.maxY = ReadReal(value); break;
        case HeaderKey::FlagValue:
            if (value == "none") break;
            header.hasFlagValue = true;
            header.flagValue = ReadReal(value);
            break;
    }
}

}  // namespace

std::string_view HeaderKeyText(HeaderKey key) { return keyTexts[static_cast<int>(key)]; }

bool SplitHeaderLine(std::string_view piece, std::string_view key, std::string_view& value) {
    if (!piece.starts_with(key)) return false;
    const std::size_t colon = piece.find(':');
    if (colon == std::string_view::npos) return false;
    const std::size_t end = std::min(piece.find('\n'), piece.size());
    const std::size_t start = std::min(colon + 2, end);
    value = piece.substr(start, end - start);
    return true;
}

ImageHeader ReadImageHeader(ByteSource& source) {
    ImageHeader header;
    HeaderPieceReader reader(source);
    std::string_view piece;
    while (reader.NextPiece(piece)) {
        for (int key = 0; key < headerKeyCount; ++key) {
            std::string_view value;
            if (!SplitHeaderLine(piece, keyTexts[key], value)) continue;
            ApplyHeaderLine(static_cast<HeaderKey>(key), value, header);
            break;
        }
    }
    return header;
}
