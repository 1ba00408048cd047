// The run's two row buffers, allocated once and reused for every row.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "image/image_header.h"

struct FreeDeleter {
    void operator()(std::byte* block) const { std::free(block); }
};
using RowBuffer = std::unique_ptr<std::byte[], FreeDeleter>;

struct RowBuffers {
    RowBuffer inputRow;
    RowBuffer outputRow;
};

// Zero-filled: the input row of `columns` elements of the image's cell
// size, then the output row of `columns` 32-bit cells. Both empty when
// either cannot be had.
RowBuffers AllocateRowBuffers(const ImageHeader& header);
