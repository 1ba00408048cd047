#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

#include "image/byte_source.h"
#include "image/image_data.h"
#include "image/image_header.h"
#include "support/case_name.h"
#include "support/scratch_folder.h"

namespace {

using enum ImageCellType;
using enum Layout;
using enum RowReadOutcome;
using enum WriteStatus;

ImageDescription Image(ImageCellType cellType, Layout layout, std::int32_t columns, std::int32_t rows,
                       double minX = 0, double minY = 0, double cellSize = 1,
                       std::optional<double> flagValue = {}, std::string note = {}) {
    return {cellType, layout, columns, rows, minX, minY, cellSize, flagValue, std::move(note)};
}

// Reads the image back through the converter's own readers.
std::tuple<ImageHeader, RowReadOutcome, std::vector<double>> ReadImage(const std::string& base) {
    const std::string text = ReadFile(HeaderPath(base)), data = ReadFile(DataPath(base));
    MemoryByteSource headerSource(std::as_bytes(std::span(text)));
    MemoryByteSource source(std::as_bytes(std::span(data)));
    const ImageHeader header = ReadImageHeader(headerSource);
    const std::size_t width = ElementSize(header.dataType);
    std::vector<std::byte> row(static_cast<std::size_t>(header.columns) * width);
    PackedRunDecoder decoder;
    RowReadOutcome outcome = Complete;
    std::vector<double> cells;
    for (std::int32_t at = 0; at < header.rows && outcome == Complete; ++at) {
        outcome = ReadImageRow(source, header, at, row.data(), decoder).outcome;
        for (std::size_t cell = 0; outcome == Complete && cell < row.size(); cell += width) {
            std::uint32_t bits = 0;  // little-endian cells on a little-endian host
            std::memcpy(&bits, row.data() + cell, width);
            const double integer = width == 1 ? 1.0 * bits : static_cast<std::int16_t>(bits);
            cells.push_back(width == 4 ? std::bit_cast<float>(bits) : integer);
        }
    }
    return {header, outcome, cells};
}

std::vector<double> Repeated(std::initializer_list<std::pair<int, double>> runs) {
    std::vector<double> cells;
    for (const auto& [count, value] : runs) cells.insert(cells.end(), count, value);
    return cells;
}

enum class Writer { Cells, Runs, Pairs };

struct WriteCase {
    const char* what;
    Writer writer;
    ImageDescription image;
    std::vector<double> input;  // the cells, or the (count, value) of each run or pair
    WriteStatus status;
    std::vector<double> cells = {};  // read back; the cells written when those are given
    std::size_t packedPairs = 0;     // the fewest that hold the cells
    RowReadOutcome outcome = Complete;
};

WriteStatus Write(const std::string& base, const WriteCase& test) {
    std::vector<PackedPair> pairs;
    for (std::size_t at = 0; at + 1 < test.input.size(); at += 2)
        pairs.push_back({static_cast<int>(test.input[at]), static_cast<int>(test.input[at + 1])});
    const auto runs = [&, next = pairs.begin()](CellRun& run) mutable {
        return next != pairs.end() && (run = {next->count, 1.0 * next->value}, ++next, true);
    };
    if (test.writer == Writer::Pairs) return WritePackedPairs(base, test.image, pairs);
    if (test.writer == Writer::Runs) return WriteImageRuns(base, test.image, runs);
    return WriteImage(base, test.image, test.input);
}

class Writes : public testing::TestWithParam<WriteCase> {};

// Written images are read back through the converter's readers; refusals leave no files.
TEST_P(Writes, GiveTheStatusAndFilesExpected) {
    const WriteCase& test = GetParam();
    const ImageDescription& image = test.image;
    const ScratchFolder folder;
    const std::string base = (folder / "image").string();
    ASSERT_EQ(Write(base, test), test.status);
    EXPECT_EQ(std::filesystem::is_empty(folder.Path()), test.status != Written);
    if (test.status != Written) return;
    const auto [header, outcome, cells] = ReadImage(base);
    EXPECT_EQ(outcome, test.outcome);
    EXPECT_EQ(cells, test.writer == Writer::Cells ? test.input : test.cells);
    EXPECT_EQ(std::filesystem::file_size(DataPath(base)),
              (image.layout == Packed ? 2 * test.packedPairs : CellCount(image)) *
                  ElementSize(header.dataType));
    EXPECT_EQ((std::array{header.columns, header.rows}), (std::array{image.columns, image.rows}));
    EXPECT_EQ((std::array{header.minX, header.minY, header.maxX, header.maxY}),
              (std::array{image.minX, image.minY, MaxX(image), MaxY(image)}));
    EXPECT_EQ(header.hasFlagValue ? std::optional(header.flagValue) : std::nullopt,
              image.flagValue);
}

using enum Writer;
const std::vector<double> nine(9, 1);
const ImageDescription byte3x3 = Image(Byte, Packed, 3, 3);

INSTANTIATE_TEST_SUITE_P(
    RoundTrip, Writes,
    testing::Values(
        WriteCase{"byte packed runs across rows split at 255", Cells,
                  Image(Byte, Packed, 100, 6, 500010, 4199970, 30, 0, "land use"),
                  Repeated({{255, 5}, {256, 6}, {89, 0}}), Written, {}, 4},
        WriteCase{"integer packed split at 32767", Cells,
                  Image(Integer, Packed, 1000, 70, 0, 0, 1, -7),
                  Repeated({{1, -32768}, {32768, 32767}, {37231, -7}}), Written, {}, 5},
        WriteCase{"byte binary", Cells, Image(Byte, Binary, 3, 2, 0, 0, 1, 255),
                  {0, 1, 127, 128, 254, 255}, Written},
        WriteCase{"integer binary", Cells, Image(Integer, Binary, 3, 2, -1000, -77, 0.125),
                  {-32768, -1, 0, 1, 300, 32767}, Written},
        WriteCase{"real binary", Cells, Image(Real, Binary, 2, 3, 1.0 / 3, -2.0 / 3, 0.5, -9999),
                  {-9999, 0.5, 0x1p-10, 3.25, -0.0, 0x1p100}, Written},
        // Equal and empty runs merge; the last is cut at the image's end.
        WriteCase{"packed runs", Runs, Image(Integer, Packed, 20000, 2, 0, 0, 1, 3),
                  {30000, 3, 0, 4, 2000, 3, 1, 4, 90000, 5}, Written,
                  Repeated({{32000, 3}, {1, 4}, {7999, 5}}), 3},
        // Pairs no encoder would make, for the readers' tests.
        WriteCase{"zero count pairs", Pairs, Image(Byte, Packed, 2, 2), {0, 5, 3, 7, 0, 9, 1, 2},
                  Written, {7, 7, 7, 2}, 4},
        WriteCase{"negative integer count pair", Pairs, Image(Integer, Packed, 2, 1),
                  {-1, 5, 2, 3}, Written, {}, 2, InvalidRunLength}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Refusals, Writes,
    testing::Values(
        WriteCase{"packed real", Cells, Image(Real, Packed, 3, 3), nine, InvalidDescription},
        WriteCase{"inexact resolution", Cells, Image(Byte, Binary, 3, 3, 123.456, 0, 0.1), nine,
                  InvalidDescription},
        WriteCase{"note with a newline", Cells, Image(Byte, Packed, 3, 3, 0, 0, 1, {}, "a\nb"),
                  nine, InvalidDescription},
        WriteCase{"too few cells", Cells, byte3x3, std::vector(8, 1.0), WrongCellCount},
        WriteCase{"negative run", Runs, byte3x3, {2, 1, -1, 1}, RunOutOfRange},
        WriteCase{"byte pair count 256", Pairs, byte3x3, {256, 1}, RunOutOfRange}),
    CaseName());

}  // namespace
