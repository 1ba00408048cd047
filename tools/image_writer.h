// Writing an image's two files, <base>.doc and <base>.img, from cells held
// in memory, made row by row, or made run by run. Row and run sources let
// images far larger than memory be written.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "tools/image_description.h"

enum class WriteStatus {
    Written,
    InvalidDescription,
    WrongCellCount,
    RunOutOfRange,
    SourceEnded,
    CannotCreate,
    WriteFailed,
};

std::string_view WriteStatusText(WriteStatus status);

std::string HeaderPath(const std::string& base);
std::string DataPath(const std::string& base);

// `count` cells of one value, in row-major order.
struct CellRun {
    std::int64_t count = 0;
    double value = 0;
};

// One pair of the packed layout, stored as given, in the cell's width.
struct PackedPair {
    std::int32_t count = 0;
    std::int32_t value = 0;
};

// Fills `cells` (one value per column) with row `row`; rows are asked for
// from the top row (0) down.
using RowSource = std::function<void(std::int32_t row, std::span<double> cells)>;

// Sets the next run and returns true, or returns false when there is none.
// The run that passes the image's last cell is cut there.
using RunSource = std::function<bool(CellRun& run)>;

// Values are converted to the cell type as CellBits (tools/cell_encoding.h)
// does. The packed layout gets maximal runs, split only where a pair's count
// would overflow. On any failure neither file is left behind.
WriteStatus WriteImage(const std::string& base, const ImageDescription& description,
                       std::span<const double> cells);
WriteStatus WriteImageRows(const std::string& base, const ImageDescription& description,
                           const RowSource& rowSource);
WriteStatus WriteImageRuns(const std::string& base, const ImageDescription& description,
                           const RunSource& runSource);

// Writes exactly these pairs, for packed files no encoder would make: zero
// or negative counts, too few or too many cells. Counts and values must fit
// the cell width (integer counts may be negative, byte counts may not).
WriteStatus WritePackedPairs(const std::string& base, const ImageDescription& description,
                             std::span<const PackedPair> pairs);
