// A second, deliberately plain reading of the image data file: the whole
// cell stream the file holds, to hold the row reader's results against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/image_data.h"
#include "image/image_header.h"

struct ReferenceImage {
    // Cells in file order, each as many bytes as the data type's width,
    // never more than the image has.
    std::vector<std::byte> cells;
    // Why the stream stops where it does, when it is shorter than the image.
    RowReadOutcome stop = RowReadOutcome::ShortFile;
    // Packed: the pair count of the last chunk read, or the negative count.
    std::int32_t stopValue = 0;
    // Binary: whole cells in the file.
    std::int64_t wholeCells = 0;
};

ReferenceImage ExpandImage(const ImageHeader& header, std::span<const std::byte> data);

// What reading row `row` must give; `cells` is set for a complete row.
struct ReferenceRow {
    RowRead read;
    const std::byte* cells = nullptr;
};

ReferenceRow ExpectRow(const ReferenceImage& image, const ImageHeader& header, std::int32_t row);
