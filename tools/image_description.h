// What an image to be written looks like: its cells, layout, size and place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class ImageCellType { Byte, Integer, Real };
enum class Layout { Binary, Packed };

struct ImageDescription {
    ImageCellType cellType = ImageCellType::Byte;
    Layout layout = Layout::Binary;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    // The lower left corner; the extent grows by whole cells from it, so
    // that both resolutions come out as exactly the cell size.
    double minX = 0;
    double minY = 0;
    double cellSize = 1;
    std::optional<double> flagValue;
    // Written as a "note" line, which readers pass over, when not empty.
    std::string note;
};

// Notes longer than this would push their line past what a reader takes as
// one line.
inline constexpr std::size_t noteLimit = 60;

double MaxX(const ImageDescription& description);
double MaxY(const ImageDescription& description);

std::int64_t CellCount(const ImageDescription& description);

// Why the description cannot be written, or empty when it can.
std::string_view DescriptionProblem(const ImageDescription& description);
