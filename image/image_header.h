// What the image header file (<base>.doc) says about the image.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/byte_source.h"

enum class DataType : int { None = 0, Byte = 1, Integer = 2, Real = 3 };
enum class FileType : int { None = 0, Ascii = 1, Binary = 2, PackedBinary = 3 };

// The nine keys, in the order a line is tested against them.
enum class HeaderKey : int {
    DataType,
    FileType,
    Columns,
    Rows,
    MinX,
    MinY,
    MaxX,
    MaxY,
    FlagValue,
};
inline constexpr int headerKeyCount = 9;

std::string_view HeaderKeyText(HeaderKey key);

// Why a numeric value gives no number to trust: none at all (`abc`, an empty
// value), for an integer key a number that goes on as a real of another
// value (`5e2`, `1.9`), of which only the leading digits would be read, or a
// number followed at once by a comma and a digit (`0,5`), of which only the
// part before the comma would be read.
enum class NumberFault : int { None, NoNumber, NotWhole, DecimalComma };

// The last value of a numeric key that read wrongly, as it stood in the line.
struct UnreadNumber {
    NumberFault fault = NumberFault::None;
    std::string value;

    bool operator==(const UnreadNumber&) const = default;
};

struct ImageHeader {
    DataType dataType = DataType::None;
    FileType fileType = FileType::None;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
    bool hasFlagValue = false;
    double flagValue = 0;
    // Which keys had a line, so that a missing extent is told from a zero one.
    std::bitset<headerKeyCount> keysRead;
    // The field still holds what the C library's reading gave; the header
    // checks refuse the image instead of using it.
    std::array<UnreadNumber, headerKeyCount> unreadNumbers;

    bool HasLineFor(HeaderKey key) const { return keysRead.test(static_cast<int>(key)); }
};

// Reads the whole header: lines without a key are ignored, unrecognised
// values leave their field as it was, and a numeric value without a number
// is noted in `unreadNumbers`. A UTF-8 byte-order mark before the first line
// is skipped.
ImageHeader ReadImageHeader(ByteSource& source);

// When `piece` begins with `key`, in any letter case, and holds a ':', gives
// the text after the first ':' and one blank (space or tab) there, if any, up
// to the newline or the end of the piece.
bool SplitHeaderLine(std::string_view piece, std::string_view key, std::string_view& value);
