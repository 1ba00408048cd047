// The image header file, read in text mode and cut into pieces of lines.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "image/byte_source.h"

// At most this many characters of a line, the newline included, form one
// piece; the rest of a longer line is read as a line of its own.
inline constexpr std::size_t headerPieceLimit = 79;

// Applies the text-mode rules on every platform alike: a CR directly before
// a LF is dropped and a Ctrl-Z (0x1A) ends the file. A lone CR stays. A
// UTF-8 byte-order mark as the file's first three bytes is skipped.
class HeaderPieceReader {
public:
    explicit HeaderPieceReader(ByteSource& source) : source(source) {}

    // The next piece, cut short at a NUL as the text functions that examine
    // it would see it; false at the end of the file.
    bool NextPiece(std::string_view& piece);

private:
    int NextCharacter();
    int NextRawByte();

    ByteSource& source;
    std::array<char, 4096> block{};
    std::size_t next = 0;
    std::size_t end = 0;
    bool ended = false;
    bool firstBlock = true;
    static constexpr int nothingPending = -2;
    int pending = nothingPending;
    std::array<char, headerPieceLimit> piece{};
};
