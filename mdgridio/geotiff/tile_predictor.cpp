#include "mdgridio/geotiff/tile_predictor.h"

#include <cstring>

#include "mdgridio/geotiff/tile_band.h"

namespace mdgridio {

namespace {

constexpr std::size_t rowBytes = std::size_t{tileSide} * 4;

// From a copy, so that the compiler sees no overlap and uses vectors.
void DifferenceIntegers(std::uint32_t* row) {
    std::uint32_t original[tileSide];
    std::memcpy(original, row, sizeof original);
    for (std::size_t i = 1; i < std::size_t{tileSide}; ++i) row[i] = original[i] - original[i - 1];
}

void SumIntegers(std::uint32_t* row) {
    for (std::size_t i = 1; i < std::size_t{tileSide}; ++i) row[i] += row[i - 1];
}

// Plane p holds byte 3 - p of every cell. Written as shifts and from a
// separate array, so that the compiler uses vectors.
void DifferenceFloats(std::uint32_t* cells) {
    unsigned char planes[rowBytes];
    for (std::size_t cell = 0; cell < std::size_t{tileSide}; ++cell) {
        const std::uint32_t value = cells[cell];
        for (std::size_t plane = 0; plane < 4; ++plane)
            planes[plane * tileSide + cell] = static_cast<unsigned char>(value >> (24 - 8 * plane));
    }
    auto* bytes = reinterpret_cast<unsigned char*>(cells);
    bytes[0] = planes[0];
    for (std::size_t i = 1; i < rowBytes; ++i) bytes[i] = static_cast<unsigned char>(planes[i] - planes[i - 1]);
}

void SumFloats(std::uint32_t* cells) {
    unsigned char planes[rowBytes];
    std::memcpy(planes, cells, rowBytes);
    for (std::size_t i = 1; i < rowBytes; ++i) planes[i] = static_cast<unsigned char>(planes[i] + planes[i - 1]);
    auto* bytes = reinterpret_cast<unsigned char*>(cells);
    for (std::size_t cell = 0; cell < std::size_t{tileSide}; ++cell)
        for (std::size_t byte = 0; byte < 4; ++byte)
            bytes[4 * cell + byte] = planes[(3 - byte) * tileSide + cell];
}

}  // namespace

int PredictorFor(CellType cellType) { return cellType == CellType::Integer ? 2 : 3; }

void ApplyPredictor(CellType cellType, std::uint32_t* tile) {
    for (std::size_t row = 0; row < std::size_t{tileSide}; ++row) {
        std::uint32_t* cells = tile + row * tileSide;
        cellType == CellType::Integer ? DifferenceIntegers(cells) : DifferenceFloats(cells);
    }
}

void UndoPredictor(CellType cellType, std::uint32_t* tile) {
    for (std::size_t row = 0; row < std::size_t{tileSide}; ++row) {
        std::uint32_t* cells = tile + row * tileSide;
        cellType == CellType::Integer ? SumIntegers(cells) : SumFloats(cells);
    }
}

}  // namespace mdgridio
