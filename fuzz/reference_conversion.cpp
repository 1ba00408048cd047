#include "reference_conversion.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "image/cell_conversion.h"

namespace {

// The flag truncated toward zero, taken modulo 2^64; a flag beyond the
// 64-bit range (or NaN) counts as -2^63, whose low bits are all zero.
std::uint64_t FlagLowBits(double flag) {
    const double truncated = std::trunc(flag);
    if (std::isnan(truncated) || std::fabs(truncated) >= 0x1p63) return std::uint64_t{1} << 63;
    if (truncated >= 0) return static_cast<std::uint64_t>(truncated);
    return ~static_cast<std::uint64_t>(-truncated) + 1;
}

std::uint32_t ExpectedIntegerBits(std::int32_t cell, std::uint64_t cellModulus,
                                  const ReferenceFlag& flag) {
    const bool flagged =
        flag.present && (static_cast<std::uint64_t>(cell) - FlagLowBits(flag.value)) % cellModulus == 0;
    return static_cast<std::uint32_t>(flagged ? integerNoData : cell);
}

std::uint32_t ExpectedRealBits(std::uint32_t cellBits, const ReferenceFlag& flag) {
    if (!flag.present) return cellBits;
    const float cell = std::bit_cast<float>(cellBits);
    const bool flagged = std::isnan(cell) || double{cell} == flag.value;
    return flagged ? std::bit_cast<std::uint32_t>(flag.missingFloat) : cellBits;
}

}  // namespace

std::uint32_t ExpectedGridBits(DataType dataType, std::span<const std::byte> cell,
                               const ReferenceFlag& flag) {
    switch (dataType) {
        case DataType::Byte:
            return ExpectedIntegerBits(std::to_integer<std::uint8_t>(cell[0]), 256, flag);
        case DataType::Integer: {
            std::int16_t value;
            std::memcpy(&value, cell.data(), sizeof value);
            return ExpectedIntegerBits(value, 65536, flag);
        }
        case DataType::Real: {
            std::uint32_t bits;
            std::memcpy(&bits, cell.data(), sizeof bits);
            return ExpectedRealBits(bits, flag);
        }
        case DataType::None: break;
    }
    return 0;
}
