#include "image/header_piece_reader.h"

namespace {

constexpr int endOfFile = -1;
constexpr int ctrlZ = 0x1A;
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

}  // namespace

int HeaderPieceReader::NextRawByte() {
    while (next == end) {
        if (ended) return endOfFile;
        end = source.ReadElements(block.data(), 1, block.size());
        next = 0;
        if (end == 0) {
            ended = true;
            return endOfFile;
        }
        // Editors that save UTF-8 may put a byte-order mark before the first
        // key, which would then not start its line. A block read gives the
        // whole file or a full block, so the first one holds all of a mark.
        if (firstBlock && std::string_view(block.data(), end).starts_with(byteOrderMark))
            next = byteOrderMark.size();
        firstBlock = false;
    }
    const int byte = static_cast<unsigned char>(block[next++]);
    if (byte == ctrlZ) {
        ended = true;
        next = end;
        return endOfFile;
    }
    return byte;
}

int HeaderPieceReader::NextCharacter() {
    int character = pending;
    if (character == nothingPending) character = NextRawByte();
    pending = nothingPending;
    if (character != '\r') return character;
    // A CR held back here may itself stand before a LF.
    const int following = NextRawByte();
    if (following == '\n') return '\n';
    pending = following;
    return character;
}

bool HeaderPieceReader::NextPiece(std::string_view& result) {
    std::size_t length = 0;
    while (length < piece.size()) {
        const int character = NextCharacter();
        if (character == endOfFile) break;
        piece[length++] = static_cast<char>(character);
        if (character == '\n') break;
    }
    if (length == 0) return false;
    const std::string_view text(piece.data(), length);
    result = text.substr(0, text.find('\0'));
    return true;
}
