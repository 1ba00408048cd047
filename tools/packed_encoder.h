// The packed layout: cells in row-major order as (count, value) pairs of
// the cell's own width, a run carrying on across row ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "tools/output_file.h"

// The longest run one pair can hold: 255 for byte, 32767 for integer cells.
std::int64_t LongestPairRun(std::size_t cellWidth);

// The run still open; it grows while the same cell bits keep coming.
struct PackedEncoder {
    std::size_t cellWidth = 1;
    std::uint32_t bits = 0;
    std::int64_t count = 0;
};

void AppendPair(OutputFile& output, std::size_t cellWidth, std::uint32_t countBits,
                std::uint32_t valueBits);

void AddCells(PackedEncoder& encoder, OutputFile& output, std::uint32_t bits, std::int64_t count);
void AddRow(PackedEncoder& encoder, OutputFile& output, std::span<const std::uint32_t> row);
// Writes the open run, split into pairs no longer than a pair can hold.
void FinishRun(PackedEncoder& encoder, OutputFile& output);
