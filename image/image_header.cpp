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

bool IsBlank(char character) { return character == ' ' || character == '\t'; }

// A number as read from the start of a value; `length` is how many
// characters it took, 0 when there is no number at all.
template <typename Number>
struct Reading {
    Number value = 0;
    std::size_t length = 0;
};

// A decimal integer as the C library reads one, clamped to 32 bits where it
// would otherwise overflow.
Reading<std::int32_t> ReadInteger(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsCSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    const std::size_t digits = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        magnitude = std::min(limit, magnitude * 10 + (text[at] - '0'));
    const std::int64_t value = negative ? -magnitude : magnitude;
    return {static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                                std::numeric_limits<std::int32_t>::max())),
            at == digits ? 0 : at};
}

Reading<double> ReadReal(std::string_view text) {
    std::array<char, headerPieceLimit + 1> terminated{};
    std::copy_n(text.begin(), std::min(text.size(), headerPieceLimit), terminated.begin());
    char* end = nullptr;
    const double value = std::strtod(terminated.data(), &end);
    return {value, static_cast<std::size_t>(end - terminated.data())};
}

// Software in a locale with a decimal comma writes `0,5`, of which only the
// 0 would be read. A comma and a blank (`512, 480`) is a list and reads as
// its first number.
bool CommaAndDigitAt(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && text[at] == ',' && text[at + 1] >= '0' && text[at + 1] <= '9';
}

// The integer reading stops at the first character that is not a digit;
// where the text goes on as a real of another value, the writer meant that.
NumberFault IntegerFault(std::string_view text, const Reading<std::int32_t>& integer) {
    if (integer.length == 0) return NumberFault::NoNumber;
    const Reading<double> real = ReadReal(text);
    const std::size_t end = std::max(real.length, integer.length);
    const bool goesOn = real.length > integer.length;
    if (goesOn && real.value != ReadReal(text.substr(0, integer.length)).value)
        return NumberFault::NotWhole;
    return CommaAndDigitAt(text, end) ? NumberFault::DecimalComma : NumberFault::None;
}

NumberFault RealFault(std::string_view text, const Reading<double>& real) {
    if (real.length == 0) return NumberFault::NoNumber;
    return CommaAndDigitAt(text, real.length) ? NumberFault::DecimalComma : NumberFault::None;
}

void NoteFault(HeaderKey key, std::string_view value, NumberFault fault, ImageHeader& header) {
    UnreadNumber& unread = header.unreadNumbers[static_cast<int>(key)];
    unread.fault = fault;
    unread.value = fault == NumberFault::None ? std::string() : std::string(value);
}

void ApplyInteger(HeaderKey key, std::string_view value, std::int32_t& field, ImageHeader& header) {
    const Reading<std::int32_t> integer = ReadInteger(value);
    field = integer.value;
    NoteFault(key, value, IntegerFault(value, integer), header);
}

void ApplyReal(HeaderKey key, std::string_view value, double& field, ImageHeader& header) {
    const Reading<double> real = ReadReal(value);
    field = real.value;
    NoteFault(key, value, RealFault(value, real), header);
}

// "none" as written, also with the blanks an editor leaves around it.
bool IsNone(std::string_view value) {
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
    return value == "none";
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
        case HeaderKey::Columns: ApplyInteger(key, value, header.columns, header); break;
        case HeaderKey::Rows: ApplyInteger(key, value, header.rows, header); break;
        case HeaderKey::MinX: ApplyReal(key, value, header.minX, header); break;
        case HeaderKey::MinY: ApplyReal(key, value, header.minY, header); break;
        case HeaderKey::MaxX: ApplyReal(key, value, header.maxX, header); break;
        case HeaderKey::MaxY: ApplyReal(key, value, header.maxY, header); break;
        case HeaderKey::FlagValue:
            if (IsNone(value)) break;
            header.hasFlagValue = true;
            ApplyReal(key, value, header.flagValue, header);
            break;
    }
}

// Editors and other writers capitalise keys (`Flag Value`); the C library's
// case folding would depend on the locale, so this folds ASCII letters only.
bool StartsWithAnyCase(std::string_view text, std::string_view prefix) {
    const auto lower = [](char character) {
        const bool upper = character >= 'A' && character <= 'Z';
        return upper ? static_cast<char>(character - 'A' + 'a') : character;
    };
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [&lower](char a, char b) { return lower(a) == lower(b); });
}

}  // namespace

std::string_view HeaderKeyText(HeaderKey key) { return keyTexts[static_cast<int>(key)]; }

bool SplitHeaderLine(std::string_view piece, std::string_view key, std::string_view& value) {
    if (!StartsWithAnyCase(piece, key)) return false;
    const std::size_t colon = piece.find(':');
    if (colon == std::string_view::npos) return false;
    const std::size_t end = std::min(piece.find('\n'), piece.size());
    std::size_t start = std::min(colon + 1, end);
    if (start < end && IsBlank(piece[start])) ++start;
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
