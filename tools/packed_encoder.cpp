#include "tools/packed_encoder.h"

#include <algorithm>
#include <array>

#include "tools/cell_encoding.h"

std::int64_t LongestPairRun(std::size_t cellWidth) { return cellWidth == 1 ? 255 : 32767; }

void AppendPair(OutputFile& output, std::size_t cellWidth, std::uint32_t countBits,
                std::uint32_t valueBits) {
    std::array<std::uint8_t, 4> pair{};
    StoreLittleEndian(countBits, cellWidth, pair.data());
    StoreLittleEndian(valueBits, cellWidth, pair.data() + cellWidth);
    output.Append(pair.data(), 2 * cellWidth);
}

void FinishRun(PackedEncoder& encoder, OutputFile& output) {
    const std::int64_t longest = LongestPairRun(encoder.cellWidth);
    while (encoder.count > 0) {
        const std::int64_t taken = std::min(encoder.count, longest);
        AppendPair(output, encoder.cellWidth, static_cast<std::uint32_t>(taken), encoder.bits);
        encoder.count -= taken;
    }
}

void AddCells(PackedEncoder& encoder, OutputFile& output, std::uint32_t bits, std::int64_t count) {
    if (count <= 0) return;
    if (encoder.count > 0 && bits != encoder.bits) FinishRun(encoder, output);
    encoder.bits = bits;
    encoder.count += count;
}

void AddRow(PackedEncoder& encoder, OutputFile& output, std::span<const std::uint32_t> row) {
    std::size_t start = 0;
    while (start < row.size()) {
        std::size_t end = start + 1;
        while (end < row.size() && row[end] == row[start]) ++end;
        AddCells(encoder, output, row[start], static_cast<std::int64_t>(end - start));
        start = end;
    }
}
