// The grid cell each image cell must become, worked out on its own terms
// rather than through the converter's prepared values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "image/image_header.h"

struct ReferenceFlag {
    bool present = false;
    double value = 0;
    float missingFloat = 0;
};

// The 32-bit pattern of the grid cell for one image cell of `dataType`.
std::uint32_t ExpectedGridBits(DataType dataType, std::span<const std::byte> cell,
                               const ReferenceFlag& flag);
