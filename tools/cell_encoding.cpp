#include "tools/cell_encoding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace {

// Rounds halves away from zero without a library call or a branch: billions
// of cells pass through here.
std::uint32_t SaturatedIntegerBits(double value, double lowest, double highest) {
    const double number = std::isnan(value) ? 0.0 : value;
    const double clamped = std::min(std::max(number, lowest), highest);
    const auto whole = static_cast<std::int32_t>(clamped);
    const double rest = clamped - whole;
    const std::int32_t rounded = whole + (rest >= 0.5) - (rest <= -0.5);
    return static_cast<std::uint32_t>(rounded);
}

std::uint32_t RealBits(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    // Converting a finite double beyond the float range is undefined.
    if (std::isfinite(value)) value = std::clamp(value, -largest, largest);
    return std::bit_cast<std::uint32_t>(static_cast<float>(value));
}

}  // namespace

std::size_t CellWidth(ImageCellType cellType) {
    switch (cellType) {
        case ImageCellType::Byte: return 1;
        case ImageCellType::Integer: return 2;
        case ImageCellType::Real: return 4;
    }
    return 0;
}

std::uint32_t CellBits(ImageCellType cellType, double value) {
    switch (cellType) {
        case ImageCellType::Byte: return SaturatedIntegerBits(value, 0, 255);
        case ImageCellType::Integer: return SaturatedIntegerBits(value, -32768, 32767) & 0xFFFFu;
        case ImageCellType::Real: return RealBits(value);
    }
    return 0;
}

void RowCellBits(ImageCellType cellType, std::span<const double> values, std::span<std::uint32_t> bits) {
    // One loop per type, so that the type is not looked at for every cell.
    const auto convert = [&](auto cellBits) {
        std::transform(values.begin(), values.end(), bits.begin(), cellBits);
    };
    switch (cellType) {
        case ImageCellType::Byte:
            convert([](double value) { return SaturatedIntegerBits(value, 0, 255); });
            break;
        case ImageCellType::Integer:
            convert(
                [](double value) { return SaturatedIntegerBits(value, -32768, 32767) & 0xFFFFu; });
            break;
        case ImageCellType::Real: convert(RealBits); break;
    }
}

void StoreLittleEndian(std::uint32_t bits, std::size_t width, std::uint8_t* into) {
    for (std::size_t at = 0; at < width; ++at)
        into[at] = static_cast<std::uint8_t>(bits >> (8 * at));
}
