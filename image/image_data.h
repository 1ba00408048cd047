// Reading the image data file (<base>.img) one row at a time, in one
// forward pass, in the binary and the packed binary layouts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "image/byte_source.h"
#include "image/image_header.h"

// The packed layout is read in chunks of this many elements.
inline constexpr std::size_t packedChunkElements = 1024;

// Bytes per cell in the image data file: 1, 2 or 4; 0 for no data type.
std::size_t ElementSize(DataType dataType);

// Where the run pairs of the packed layout stand; carried from row to row,
// since a run may cover the end of one row and the start of the next.
struct PackedRunDecoder {
    std::array<std::uint8_t, packedChunkElements> byteChunk{};
    std::array<std::int16_t, packedChunkElements> integerChunk{};
    std::uint32_t pairsInChunk = 0;
    std::uint32_t currentPair = 0;
    bool hasChunk = false;
    // Cells of the current pair's run that earlier rows have taken.
    std::uint32_t usedCount = 0;
};

enum class RowReadOutcome { Complete, ShortFile, InvalidRunLength, Interrupted };

struct RowRead {
    RowReadOutcome outcome = RowReadOutcome::Complete;
    // The failing row's first cell, counted over the whole image.
    std::int64_t rowStartIndex = 0;
    // Short file: whole elements of a binary row, or pairs of the packed
    // chunk used up last. Invalid run length: the count as stored.
    std::int32_t value = 0;
};

// Fills `inputRow` (columns elements of the header's element size) with row
// `row`, which must follow the row read before it. A file of no known
// layout is not read, and the row keeps what it holds.
RowRead ReadImageRow(ByteSource& source, const ImageHeader& header, std::int32_t row,
                     std::byte* inputRow, PackedRunDecoder& decoder);

// The messages of a row that could not be read.
void ReportRowReadFailure(const RowRead& failure, std::int32_t columns);
