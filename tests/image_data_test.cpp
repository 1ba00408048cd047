#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/image_data.h"
#include "support/case_name.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytePairs(std::initializer_list<std::pair<int, int>> pairs) {
    Bytes bytes;
    for (auto [count, value] : pairs) {
        bytes.push_back(static_cast<std::uint8_t>(count));
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

Bytes Int16s(std::initializer_list<int> values) {
    Bytes bytes;
    for (int value : values) {
        bytes.push_back(static_cast<std::uint8_t>(value));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    return bytes;
}

Bytes Repeated(std::size_t pairs, int count, Bytes tail = {}) {
    Bytes bytes;
    for (std::size_t pair = 0; pair < pairs; ++pair) {
        bytes.push_back(static_cast<std::uint8_t>(count));
        bytes.push_back(static_cast<std::uint8_t>(pair));
    }
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

std::string SameCells(const std::string& cell, int count) {
    std::string text = cell;
    for (int column = 1; column < count; ++column) text += " " + cell;
    return text;
}

std::string CellText(DataType dataType, const std::byte* row, std::size_t column) {
    if (dataType == DataType::Byte) return std::to_string(std::to_integer<int>(row[column]));
    std::int16_t cell;
    std::memcpy(&cell, row + 2 * column, 2);
    return std::to_string(cell);
}

// Reads every row in order and writes them out as "a b c / d e f", ending
// with the failure, if any, as "! short at <row start> read <value>".
std::string ReadAllRows(DataType dataType, FileType fileType, int columns, int rows, const Bytes& file) {
    ImageHeader header;
    header.dataType = dataType;
    header.fileType = fileType;
    header.columns = columns;
    header.rows = rows;
    MemoryByteSource source(std::as_bytes(std::span(file)));
    PackedRunDecoder decoder;
    std::vector<std::byte> row(columns * ElementSize(dataType));
    std::string text;
    for (int index = 0; index < rows; ++index) {
        const RowRead read = ReadImageRow(source, header, index, row.data(), decoder);
        if (read.outcome != RowReadOutcome::Complete) {
            const char* kind = read.outcome == RowReadOutcome::ShortFile ? "short" : "invalid";
            return text + "! " + kind + " at " + std::to_string(read.rowStartIndex) + " read " +
                   std::to_string(read.value);
        }
        if (index > 0) text += " / ";
        for (int column = 0; column < columns; ++column) {
            if (column > 0) text += ' ';
            text += CellText(dataType, row.data(), column);
        }
    }
    return text;
}

struct DecodingCase {
    const char* what;
    DataType dataType;
    FileType fileType;
    int columns, rows;
    Bytes file;
    std::string expected;
};

constexpr auto byte = DataType::Byte;
constexpr auto integer = DataType::Integer;
constexpr auto packed = FileType::PackedBinary;
constexpr auto binary = FileType::Binary;

const DecodingCase decodingCases[] = {
    {"run across one row end", byte, packed, 3, 2, BytePairs({{2, 10}, {3, 20}, {1, 30}}), "10 10 20 / 20 20 30"},
    {"run across two row ends", byte, packed, 3, 3, BytePairs({{7, 5}, {2, 6}}), "5 5 5 / 5 5 5 / 5 6 6"},
    {"run ends at a row end", byte, packed, 3, 3, BytePairs({{1, 1}, {5, 2}, {3, 3}}), "1 2 2 / 2 2 2 / 3 3 3"},
    {"zero counts anywhere", byte, packed, 3, 2,
     BytePairs({{0, 9}, {2, 1}, {0, 9}, {1, 2}, {0, 9}, {3, 3}, {0, 9}}), "1 1 2 / 3 3 3"},
    {"a byte count is unsigned", byte, packed, 200, 1, BytePairs({{200, 255}}),
     SameCells("255", 200)},
    {"integer pairs", integer, packed, 3, 2, Int16s({4, -5, 2, 300}), "-5 -5 -5 / -5 300 300"},
    {"trailing pairs ignored", byte, packed, 3, 1, BytePairs({{3, 1}, {5, 9}}), "1 1 1"},
    {"odd last element ignored", byte, packed, 3, 1, Bytes{3, 1, 7}, "1 1 1"},
    {"empty packed file", byte, packed, 3, 2, Bytes{}, "! short at 0 read 0"},
    {"runs fall short in the last row", byte, packed, 3, 2, BytePairs({{5, 1}}), "1 1 1! short at 3 read 1"},
    {"1023 elements: 511 pairs", byte, packed, 512, 1, Repeated(511, 1, {9}), "! short at 0 read 511"},
    {"1024 elements falling short", byte, packed, 600, 1, Repeated(512, 1), "! short at 0 read 0"},
    {"negative count judged when reached", integer, packed, 3, 2, Int16s({3, 1, -3, 5}),
     "1 1 1! invalid at 3 read -3"},
    {"negative count after the last row ignored", integer, packed, 3, 2, Int16s({6, 1, -1, 0}),
     "1 1 1 / 1 1 1"},
    {"binary bytes, trailing bytes ignored", byte, binary, 3, 2, Bytes{1, 2, 3, 4, 5, 200, 9, 9},
     "1 2 3 / 4 5 200"},
    {"binary integers", integer, binary, 2, 1, Int16s({-32768, 32767}), "-32768 32767"},
    {"binary ends inside a row", integer, binary, 3, 2, Bytes{1, 0, 2, 0, 3, 0, 4, 0, 5},
     "1 2 3! short at 3 read 1"},
};

class Decoding : public testing::TestWithParam<DecodingCase> {};

TEST_P(Decoding, LaysDownRowsInOrder) {
    const auto& check = GetParam();
    EXPECT_EQ(ReadAllRows(check.dataType, check.fileType, check.columns, check.rows, check.file), check.expected)
        << check.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, Decoding, testing::ValuesIn(decodingCases), CaseName());

TEST(Decoding, RunsContinueAcrossChunks) {
    // 600 single-cell runs: the rows need a second chunk of pairs.
    const std::string rows = ReadAllRows(byte, packed, 300, 2, Repeated(600, 1));
    EXPECT_EQ(rows.substr(0, 6), "0 1 2 ");
    EXPECT_EQ(rows.substr(rows.size() - 11), "84 85 86 87");  // pair 599 holds 599 % 256
}

TEST(Decoding, RealCellsKeepTheirBits) {
    const Bytes file = {0x01, 0x00, 0xC0, 0x7F, 0x00, 0x00, 0x80, 0xBF};
    ImageHeader header;
    header.dataType = DataType::Real;
    header.fileType = binary;
    header.columns = 2;
    header.rows = 1;
    MemoryByteSource source(std::as_bytes(std::span(file)));
    PackedRunDecoder decoder;
    std::vector<std::byte> row(8);
    ASSERT_EQ(ReadImageRow(source, header, 0, row.data(), decoder).outcome, RowReadOutcome::Complete);
    EXPECT_EQ(std::memcmp(row.data(), file.data(), 8), 0);
}

TEST(Decoding, FailureMessages) {
    testing::internal::CaptureStdout();
    ReportRowReadFailure({RowReadOutcome::ShortFile, 2147483648LL, 511}, 32768);
    ReportRowReadFailure({RowReadOutcome::InvalidRunLength, 6, -2}, 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Could not read 32768 bytes at 2147483648\nf_read = '511'\n"
              "Invalid run length -2 at 6\n");
}

}  // namespace
