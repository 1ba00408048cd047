#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "image/byte_source.h"
#include "image/header_checks.h"
#include "image/image_data.h"
#include "image/image_header.h"
#include "support/case_name.h"
#include "support/scratch_folder.h"

namespace {

struct ReadBack {
    ImageHeader header;
    RowReadOutcome outcome = RowReadOutcome::Complete;
    std::vector<double> cells;
};

double CellAt(const std::byte* row, DataType dataType, std::size_t column) {
    std::uint8_t byteCell = 0;
    std::int16_t integerCell = 0;
    float realCell = 0;
    switch (dataType) {
        case DataType::Byte: std::memcpy(&byteCell, row + column, 1); return byteCell;
        case DataType::Integer: std::memcpy(&integerCell, row + 2 * column, 2); return integerCell;
        default: std::memcpy(&realCell, row + 4 * column, 4); return realCell;
    }
}

ImageHeader ReadHeader(const std::string& base) {
    const std::string text = ReadFile(HeaderPath(base));
    MemoryByteSource source(std::as_bytes(std::span(text)));
    return ReadImageHeader(source);
}

// Reads the image back through the converter's own readers.
ReadBack ReadImage(const std::string& base) {
    ReadBack image;
    image.header = ReadHeader(base);
    const ImageHeader& header = image.header;
    const std::string data = ReadFile(DataPath(base));
    MemoryByteSource source(std::as_bytes(std::span(data)));
    const auto columns = static_cast<std::size_t>(header.columns);
    std::vector<std::byte> row(columns * ElementSize(header.dataType));
    PackedRunDecoder decoder;
    for (std::int32_t at = 0; at < header.rows; ++at) {
        image.outcome = ReadImageRow(source, header, at, row.data(), decoder).outcome;
        if (image.outcome != RowReadOutcome::Complete) break;
        for (std::size_t column = 0; column < columns; ++column)
            image.cells.push_back(CellAt(row.data(), header.dataType, column));
    }
    return image;
}

// The stored (count, value) pairs, read independently of the reader.
std::vector<std::pair<int, int>> StoredPairs(const std::string& base, std::size_t width) {
    const std::string data = ReadFile(DataPath(base));
    const auto element = [&](std::size_t at) {
        const auto low = static_cast<std::uint8_t>(data[at]);
        if (width == 1) return int{low};
        return int{static_cast<std::int16_t>(low | static_cast<std::uint8_t>(data[at + 1]) << 8)};
    };
    std::vector<std::pair<int, int>> pairs;
    for (std::size_t at = 0; at + 2 * width <= data.size(); at += 2 * width)
        pairs.emplace_back(element(at), element(at + width));
    return pairs;
}

std::vector<double> Runs(std::initializer_list<std::pair<int, double>> runs) {
    std::vector<double> cells;
    for (const auto& [count, value] : runs) cells.insert(cells.end(), count, value);
    return cells;
}

ImageDescription Described(CellType cellType, Layout layout, std::int32_t columns,
                           std::int32_t rows) {
    ImageDescription description;
    description.cellType = cellType;
    description.layout = layout;
    description.columns = columns;
    description.rows = rows;
    return description;
}

bool FilesExist(const std::string& base) {
    return std::filesystem::exists(HeaderPath(base)) || std::filesystem::exists(DataPath(base));
}

struct LayoutCase {
    const char* what;
    ImageDescription description;
    std::vector<double> cells;
};

class LayoutRoundTrip : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutRoundTrip, ReadsBackEveryCell) {
    const LayoutCase& test = GetParam();
    const ScratchFolder folder;
    const std::string base = (folder / "image").string();
    ASSERT_EQ(WriteImage(base, test.description, test.cells), WriteStatus::Written);
    const ReadBack image = ReadImage(base);
    ASSERT_EQ(image.outcome, RowReadOutcome::Complete);
    std::vector<double> expected = test.cells;
    if (test.description.cellType == CellType::Real)
        for (double& cell : expected) cell = static_cast<float>(cell);
    EXPECT_EQ(image.cells, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutRoundTrip,
    testing::Values(LayoutCase{"byte packed runs across row ends",
                               Described(CellType::Byte, Layout::Packed, 5, 4),
                               Runs({{3, 7}, {8, 9}, {9, 0}})},
                    LayoutCase{"byte packed single column",
                               Described(CellType::Byte, Layout::Packed, 1, 6),
                               {1, 1, 2, 2, 2, 3}},
                    LayoutCase{"integer packed extremes across rows",
                               Described(CellType::Integer, Layout::Packed, 4, 3),
                               Runs({{5, -7}, {6, 32767}, {1, -32768}})},
                    LayoutCase{"byte binary",
                               Described(CellType::Byte, Layout::Binary, 3, 2),
                               {0, 1, 127, 128, 254, 255}},
                    LayoutCase{"integer binary",
                               Described(CellType::Integer, Layout::Binary, 3, 2),
                               {-32768, -1, 0, 1, 300, 32767}},
                    LayoutCase{"real binary",
                               Described(CellType::Real, Layout::Binary, 2, 3),
                               {-9999, 0.5, 1e-3, 3.25, -0.0, 1e30}}),
    CaseName());

struct ConversionCase {
    const char* what;
    CellType cellType;
    double written;
    double stored;
};

class CellConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(CellConversion, StoresRoundedAndSaturated) {
    const ConversionCase& test = GetParam();
    const ScratchFolder folder;
    const std::string base = (folder / "cell").string();
    const std::vector<double> cells = {test.written};
    ASSERT_EQ(WriteImage(base, Described(test.cellType, Layout::Binary, 1, 1), cells),
              WriteStatus::Written);
    EXPECT_EQ(ReadImage(base).cells, std::vector<double>{test.stored});
}

constexpr double largestFloat = std::numeric_limits<float>::max();
constexpr double infinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Values, CellConversion,
    testing::Values(ConversionCase{"byte below range", CellType::Byte, -3, 0},
                    ConversionCase{"byte half up", CellType::Byte, 0.5, 1},
                    ConversionCase{"byte under half", CellType::Byte, 1.49, 1},
                    ConversionCase{"byte above range", CellType::Byte, 300, 255},
                    ConversionCase{"byte nan", CellType::Byte, std::nan(""), 0},
                    ConversionCase{"integer negative half", CellType::Integer, -2.5, -3},
                    ConversionCase{"integer just under half", CellType::Integer,
                                   0.49999999999999994, 0},
                    ConversionCase{"integer below range", CellType::Integer, -40000, -32768},
                    ConversionCase{"integer above range", CellType::Integer, 40000, 32767},
                    ConversionCase{"real beyond float", CellType::Real, 1e39, largestFloat},
                    ConversionCase{"real infinity", CellType::Real, -infinity, -infinity},
                    ConversionCase{"real rounded", CellType::Real, 0.1, static_cast<float>(0.1)}),
    CaseName());

struct SplitCase {
    const char* what;
    CellType cellType;
    std::int32_t columns;
    std::int32_t rows;
    std::vector<int> counts;
};

class PackedSplit : public testing::TestWithParam<SplitCase> {};

// Equal cells give one run however many rows they cover, split only where
// a count would overflow.
TEST_P(PackedSplit, SplitsOnlyAtTheLongestCount) {
    const SplitCase& test = GetParam();
    const ScratchFolder folder;
    const std::string base = (folder / "runs").string();
    const ImageDescription description =
        Described(test.cellType, Layout::Packed, test.columns, test.rows);
    const auto fill = [](std::int32_t, std::span<double> cells) { std::ranges::fill(cells, 5); };
    ASSERT_EQ(WriteImageRows(base, description, fill), WriteStatus::Written);
    std::vector<std::pair<int, int>> expected;
    for (int count : test.counts) expected.emplace_back(count, 5);
    EXPECT_EQ(StoredPairs(base, test.cellType == CellType::Byte ? 1 : 2), expected);
    EXPECT_EQ(ReadImage(base).outcome, RowReadOutcome::Complete);
}

INSTANTIATE_TEST_SUITE_P(
    Splits, PackedSplit,
    testing::Values(
        SplitCase{"byte exactly 255", CellType::Byte, 255, 1, {255}},
        SplitCase{"byte 256 over two rows", CellType::Byte, 128, 2, {255, 1}},
        SplitCase{"byte 600 over 25 rows", CellType::Byte, 24, 25, {255, 255, 90}},
        SplitCase{"integer exactly 32767", CellType::Integer, 32767, 1, {32767}},
        SplitCase{"integer 70000 over 7 rows", CellType::Integer, 10000, 7, {32767, 32767, 4466}}),
    CaseName());

TEST(RunSource, MergesEqualRunsAndCutsAtTheImageEnd) {
    const ScratchFolder folder;
    const std::vector<CellRun> runs = {{3, 1}, {2, 1}, {0, 7}, {4, 2}, {100, 3}};
    for (Layout layout : {Layout::Packed, Layout::Binary}) {
        const std::string base = (folder / "runs").string();
        std::size_t next = 0;
        const auto source = [&](CellRun& run) {
            if (next == runs.size()) return false;
            run = runs[next++];
            return true;
        };
        ASSERT_EQ(WriteImageRuns(base, Described(CellType::Byte, layout, 3, 3), source),
                  WriteStatus::Written);
        EXPECT_EQ(ReadImage(base).cells, Runs({{5, 1}, {4, 2}}));
        if (layout == Layout::Packed)
            EXPECT_EQ(StoredPairs(base, 1), (std::vector<std::pair<int, int>>{{5, 1}, {4, 2}}));
        else
            EXPECT_EQ(std::filesystem::file_size(DataPath(base)), 9u);
    }
}

struct PairsCase {
    const char* what;
    ImageDescription description;
    std::vector<PackedPair> pairs;
    RowReadOutcome outcome;
    std::vector<double> cells;
};

class ExplicitPairs : public testing::TestWithParam<PairsCase> {};

TEST_P(ExplicitPairs, AreStoredAsGiven) {
    const PairsCase& test = GetParam();
    const ScratchFolder folder;
    const std::string base = (folder / "pairs").string();
    ASSERT_EQ(WritePackedPairs(base, test.description, test.pairs), WriteStatus::Written);
    const ReadBack image = ReadImage(base);
    EXPECT_EQ(image.outcome, test.outcome);
    EXPECT_EQ(image.cells, test.cells);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ExplicitPairs,
                         testing::Values(PairsCase{"zero counts between runs",
                                                   Described(CellType::Byte, Layout::Packed, 2, 2),
                                                   {{0, 5}, {3, 7}, {0, 9}, {1, 2}},
                                                   RowReadOutcome::Complete,
                                                   {7, 7, 7, 2}},
                                         PairsCase{"zero count at a row end",
                                                   Described(CellType::Byte, Layout::Packed, 2, 2),
                                                   {{2, 1}, {0, 3}, {2, 4}},
                                                   RowReadOutcome::Complete,
                                                   {1, 1, 4, 4}},
                                         PairsCase{
                                             "negative integer count",
                                             Described(CellType::Integer, Layout::Packed, 2, 1),
                                             {{-1, 5}, {2, 3}},
                                             RowReadOutcome::InvalidRunLength,
                                             {}},
                                         PairsCase{"too few cells",
                                                   Described(CellType::Byte, Layout::Packed, 2, 2),
                                                   {{3, 1}},
                                                   RowReadOutcome::ShortFile,
                                                   {1, 1}}),
                         CaseName());

struct HeaderCase {
    const char* what;
    ImageDescription description;
};

class HeaderReadBack : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderReadBack, GivesTheExactExtentAndEqualResolution) {
    const ImageDescription& description = GetParam().description;
    const ScratchFolder folder;
    const std::string base = (folder / "header").string();
    const std::vector<double> cells(static_cast<std::size_t>(CellCount(description)), 1);
    ASSERT_EQ(WriteImage(base, description, cells), WriteStatus::Written);
    const ImageHeader header = ReadHeader(base);
    constexpr std::array dataTypes = {DataType::Byte, DataType::Integer, DataType::Real};
    EXPECT_EQ(header.dataType, dataTypes[static_cast<std::size_t>(description.cellType)]);
    EXPECT_EQ(header.fileType,
              description.layout == Layout::Packed ? FileType::PackedBinary : FileType::Binary);
    EXPECT_EQ(header.columns, description.columns);
    EXPECT_EQ(header.rows, description.rows);
    EXPECT_EQ(header.minX, description.minX);
    EXPECT_EQ(header.minY, description.minY);
    EXPECT_EQ(header.maxX, MaxX(description));
    EXPECT_EQ(header.maxY, MaxY(description));
    EXPECT_TRUE(HasEqualResolution(header));
    EXPECT_EQ(CellSize(header), description.cellSize);
    EXPECT_EQ(header.hasFlagValue, description.flagValue.has_value());
    EXPECT_EQ(header.flagValue, description.flagValue.value_or(0));
    const std::string text = ReadFile(HeaderPath(base));
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        EXPECT_LT(line.size(), 78u) << line;
        EXPECT_EQ(line.find(':'), 12u) << line;
        EXPECT_NE(line.back(), ' ') << line;
    }
}

ImageDescription Placed(ImageDescription description, double minX, double minY, double cellSize,
                        std::optional<double> flagValue, std::string title) {
    description.minX = minX;
    description.minY = minY;
    description.cellSize = cellSize;
    description.flagValue = flagValue;
    description.title = std::move(title);
    return description;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderReadBack,
    testing::Values(HeaderCase{"utm byte packed",
                               Placed(Described(CellType::Byte, Layout::Packed, 64, 48), 500010,
                                      4199970, 30, 0, "land use")},
                    HeaderCase{"negative corner fraction cell",
                               Placed(Described(CellType::Integer, Layout::Binary, 80, 60), -1000,
                                      -77, 0.125, std::nullopt, "")},
                    HeaderCase{"corners needing 17 digits",
                               Placed(Described(CellType::Byte, Layout::Binary, 3, 5), 1.0 / 3,
                                      -2.0 / 3, 0.5, 255, "")},
                    HeaderCase{"real with long title",
                               Placed(Described(CellType::Real, Layout::Binary, 3, 7), 6.02e6,
                                      -3.5e6, 1024, -9999, std::string(titleLimit, 'x'))}),
    CaseName());

struct RefusalCase {
    const char* what;
    void (*change)(ImageDescription& description);
};

class Refusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, LeavesNoFiles) {
    const ScratchFolder folder;
    const std::string base = (folder / "refused").string();
    ImageDescription description = Described(CellType::Byte, Layout::Packed, 3, 3);
    GetParam().change(description);
    const std::vector<double> cells(9, 1);
    EXPECT_EQ(WriteImage(base, description, cells), WriteStatus::InvalidDescription);
    EXPECT_FALSE(FilesExist(base));
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, Refusal,
    testing::Values(
        RefusalCase{"no columns", [](ImageDescription& image) { image.columns = 0; }},
        RefusalCase{"packed real",
                    [](ImageDescription& image) { image.cellType = CellType::Real; }},
        RefusalCase{"zero cell size", [](ImageDescription& image) { image.cellSize = 0; }},
        RefusalCase{"inexact resolution",
                    [](ImageDescription& image) {
                        image.minX = 123.456;
                        image.cellSize = 0.1;
                    }},
        RefusalCase{"title too long",
                    [](ImageDescription& image) { image.title.assign(titleLimit + 1, 'x'); }},
        RefusalCase{"title with newline", [](ImageDescription& image) { image.title = "a\nb"; }}),
    CaseName());

TEST(WriteFailures, AreReportedAndLeaveNoFiles) {
    const ScratchFolder folder;
    const std::string base = (folder / "failed").string();
    const ImageDescription packedByte = Described(CellType::Byte, Layout::Packed, 3, 3);
    const ImageDescription packedInteger = Described(CellType::Integer, Layout::Packed, 3, 3);
    const std::vector<double> tooFew(8, 1);
    EXPECT_EQ(WriteImage(base, packedByte, tooFew), WriteStatus::WrongCellCount);
    const auto shortSource = [](CellRun& run) {
        run = {4, 1};
        return false;
    };
    EXPECT_EQ(WriteImageRuns(base, packedByte, shortSource), WriteStatus::SourceEnded);
    const auto negativeRun = [](CellRun& run) {
        run = {-1, 1};
        return true;
    };
    EXPECT_EQ(WriteImageRuns(base, packedByte, negativeRun), WriteStatus::RunOutOfRange);
    const std::vector<PackedPair> byteOverflow = {{256, 1}};
    const std::vector<PackedPair> negativeByte = {{-1, 1}};
    const std::vector<PackedPair> integerOverflow = {{1, 40000}};
    EXPECT_EQ(WritePackedPairs(base, packedByte, byteOverflow), WriteStatus::RunOutOfRange);
    EXPECT_EQ(WritePackedPairs(base, packedByte, negativeByte), WriteStatus::RunOutOfRange);
    EXPECT_EQ(WritePackedPairs(base, packedInteger, integerOverflow), WriteStatus::RunOutOfRange);
    EXPECT_EQ(WritePackedPairs(base, Described(CellType::Byte, Layout::Binary, 3, 3), {}),
              WriteStatus::InvalidDescription);
    EXPECT_FALSE(FilesExist(base));
    EXPECT_EQ(WriteImage((folder / "missing" / "image").string(), packedByte, std::vector(9, 1.0)),
              WriteStatus::CannotCreate);
}

}  // namespace
