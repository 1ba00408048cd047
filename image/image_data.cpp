#include "image/image_data.h"

#include "image/vector_clones.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <span>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "image cells are little-endian and are read in place");

namespace {

// Twice the vector width where the processor has it, chosen when loaded:
// laying 16-bit runs down then costs half as much.
WITH_AVX2_CLONE
void FillRun(std::int16_t* cells, std::uint32_t count, std::int16_t value) {
    std::fill_n(cells, count, value);
}

// Becomes memset, which picks its own width.
void FillRun(std::uint8_t* cells, std::uint32_t count, std::uint8_t value) {
    std::fill_n(cells, count, value);
}

RowRead ReadBinaryRow(ByteSource& source, std::size_t elementSize, std::int32_t columns,
                      std::int64_t rowStartIndex, std::byte* inputRow) {
    const std::size_t elementsRead =
        source.ReadElements(inputRow, elementSize, static_cast<std::size_t>(columns));
    if (elementsRead == static_cast<std::size_t>(columns)) return {};
    if (source.Interrupted()) return {RowReadOutcome::Interrupted, rowStartIndex, 0};
    return {RowReadOutcome::ShortFile, rowStartIndex, static_cast<std::int32_t>(elementsRead)};
}

// Lays the runs of the chunks down into one row. A run that does not fit
// stays current, with the cells it has given counted, for the next row.
template <typename Element>
RowRead ReadPackedRow(ByteSource& source, std::span<Element, packedChunkElements> chunk,
                      PackedRunDecoder& decoder, std::int32_t columns, std::int64_t rowStartIndex,
                      Element* inputRow) {
    const auto width = static_cast<std::uint32_t>(columns);
    std::uint32_t filled = 0;
    for (;;) {
        if (!decoder.hasChunk) {
            const std::size_t elementsRead =
                source.ReadElements(chunk.data(), sizeof(Element), chunk.size());
            decoder.pairsInChunk = static_cast<std::uint32_t>(elementsRead / 2);
            decoder.currentPair = 0;
            decoder.usedCount = 0;
            decoder.hasChunk = true;
            // Data that never completes a row (endless empty runs) must not
            // keep the run from seeing an interruption.
            if (source.Interrupted()) return {RowReadOutcome::Interrupted, rowStartIndex, 0};
        }
        for (; decoder.currentPair < decoder.pairsInChunk; ++decoder.currentPair) {
            const Element count = chunk[2 * decoder.currentPair];
            const Element value = chunk[2 * decoder.currentPair + 1];
            if constexpr (std::is_signed_v<Element>) {
                if (count < 0) return {RowReadOutcome::InvalidRunLength, rowStartIndex, count};
            }
            const std::uint32_t remaining = static_cast<std::uint32_t>(count) - decoder.usedCount;
            const std::uint32_t room = width - filled;
            if (remaining >= room) {
                FillRun(inputRow + filled, room, value);
                decoder.usedCount += room;
                return {};
            }
            FillRun(inputRow + filled, remaining, value);
            filled += remaining;
            decoder.usedCount = 0;
        }
        // The chunk is used up and the row still lacks cells; only a full
        // chunk can have more of the file behind it.
        decoder.hasChunk = false;
        if (decoder.pairsInChunk < packedChunkElements / 2)
            return {RowReadOutcome::ShortFile, rowStartIndex,
                    static_cast<std::int32_t>(decoder.pairsInChunk)};
    }
}

}  // namespace

std::size_t ElementSize(DataType dataType) {
    switch (dataType) {
        case DataType::Byte: return 1;
        case DataType::Integer: return 2;
        case DataType::Real: return 4;
        case DataType::None: break;
    }
    return 0;
}

RowRead ReadImageRow(ByteSource& source, const ImageHeader& header, std::int32_t row,
                     std::byte* inputRow, PackedRunDecoder& decoder) {
    const std::int64_t rowStartIndex = std::int64_t{row} * header.columns;
    if (header.fileType == FileType::Binary)
        return ReadBinaryRow(source, ElementSize(header.dataType), header.columns, rowStartIndex,
                             inputRow);
    if (header.fileType != FileType::PackedBinary) return {};
    if (header.dataType == DataType::Byte)
        return ReadPackedRow(source, std::span(decoder.byteChunk), decoder, header.columns,
                             rowStartIndex, reinterpret_cast<std::uint8_t*>(inputRow));
    if (header.dataType == DataType::Integer)
        return ReadPackedRow(source, std::span(decoder.integerChunk), decoder, header.columns,
                             rowStartIndex, reinterpret_cast<std::int16_t*>(inputRow));
    return {};
}

void ReportRowReadFailure(const RowRead& failure, std::int32_t columns) {
    const auto rowStartIndex = static_cast<long long>(failure.rowStartIndex);
    if (failure.outcome == RowReadOutcome::InvalidRunLength) {
        std::printf("Invalid run length %i at %lld\n", failure.value, rowStartIndex);
        return;
    }
    std::printf("Could not read %i bytes at %lld\n", columns, rowStartIndex);
    std::printf("f_read = '%i'\n", failure.value);
}
