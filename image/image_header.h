// What the image header file (<base>.doc) says about the image.
#pragma once

#include <bitset>
#include <cstdint>
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

    bool HasLineFor(HeaderKey key) const { return keysRead.test(static_cast<int>(key)); }
};

// Reads the whole header: lines without a key are ignored, unrecognised
// values leave their field as it was, text without a number gives 0.
ImageHeader ReadImageHeader(ByteSource& source);

// When `piece` begins with `key` and holds a ':', gives the text from two
// characters after the first ':' up to the newline or the end of the piece.
bool SplitHeaderLine(std::string_view piece, std::string_view key, std::string_view& value);
