#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "image/cell_conversion.h"

namespace {

constexpr double none = std::numeric_limits<double>::infinity();  // marks "no flag value"
constexpr float missing = -9999.0f;

struct IntegerCase {
    DataType dataType;
    double flagValue;
    int stored;  // the cell as its bits were stored: 0..255 or a 16-bit pattern
    std::int32_t expected;
};

const IntegerCase integerCases[] = {
    {DataType::Byte, none, 200, 200},
    {DataType::Byte, none, 0, 0},
    {DataType::Byte, 0, 0, integerNoData},
    {DataType::Byte, 0, 1, 1},
    {DataType::Byte, -1, 255, integerNoData},
    {DataType::Byte, -1, 254, 254},
    {DataType::Byte, 256, 0, integerNoData},
    {DataType::Byte, 3.7, 3, integerNoData},
    {DataType::Byte, 3.7, 4, 4},
    {DataType::Byte, -3.7, 253, integerNoData},
    {DataType::Byte, 1e30, 0, integerNoData},
    {DataType::Byte, std::nan(""), 0, integerNoData},
    {DataType::Integer, none, 0xFFFF, -1},
    {DataType::Integer, none, 0x8000, -32768},
    {DataType::Integer, -99, 0xFF9D, integerNoData},
    {DataType::Integer, -99, 99, 99},
    {DataType::Integer, 65535, 0xFFFF, integerNoData},
    {DataType::Integer, -1, 0xFFFF, integerNoData},
    {DataType::Integer, 65536 + 7, 7, integerNoData},
    {DataType::Integer, -1e300, 0, integerNoData},
    {DataType::Integer, -1e300, 1, 1},
};

CellConversion Conversion(DataType dataType, double flagValue, std::size_t columns) {
    ImageHeader header;
    header.dataType = dataType;
    header.columns = static_cast<std::int32_t>(columns);
    header.hasFlagValue = flagValue != none;
    header.flagValue = header.hasFlagValue ? flagValue : 0;
    return PrepareCellConversion(header, missing);
}

TEST(CellConversion, ByteAndIntegerCells) {
    for (const auto& check : integerCases) {
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(check.stored),
                                       static_cast<std::uint8_t>(check.stored >> 8)};
        std::int32_t output = 12345;
        ConvertRow(Conversion(check.dataType, check.flagValue, 1),
                   reinterpret_cast<const std::byte*>(bytes), reinterpret_cast<std::byte*>(&output));
        EXPECT_EQ(output, check.expected) << "type " << static_cast<int>(check.dataType)
                                          << " flag " << check.flagValue << " cell " << check.stored;
    }
}

struct RealCase {
    const char* what;
    double flagValue;
    std::uint32_t stored;
    std::uint32_t expected;
};

const std::uint32_t missingBits = std::bit_cast<std::uint32_t>(missing);
const std::uint32_t quietNanWithPayload = 0x7FC00001;
const std::uint32_t signallingNan = 0x7F800001;

const RealCase realCases[] = {
    {"flag matches", -99, std::bit_cast<std::uint32_t>(-99.0f), missingBits},
    {"other cell kept", -99, std::bit_cast<std::uint32_t>(5.5f), std::bit_cast<std::uint32_t>(5.5f)},
    {"NaN flagged when a flag is given", -99, quietNanWithPayload, missingBits},
    {"NaN payload kept without a flag", none, quietNanWithPayload, quietNanWithPayload},
    {"signalling NaN kept without a flag", none, signallingNan, signallingNan},
    {"0.1 matches no float", 0.1, std::bit_cast<std::uint32_t>(0.1f), std::bit_cast<std::uint32_t>(0.1f)},
    {"-0.0 matches flag 0", 0, 0x80000000, missingBits},
    {"+0.0 matches flag -0", -0.0, 0, missingBits},
    {"1e300 is no float: infinity kept", 1e300, 0x7F800000, 0x7F800000},
    {"flag -infinity matches", -std::numeric_limits<double>::infinity(), 0xFF800000, missingBits},
    {"flag -infinity keeps +infinity", -std::numeric_limits<double>::infinity(), 0x7F800000,
     0x7F800000},
    {"NaN flag still flags NaN", std::nan(""), quietNanWithPayload, missingBits},
    {"NaN flag keeps numbers", std::nan(""), std::bit_cast<std::uint32_t>(1.0f),
     std::bit_cast<std::uint32_t>(1.0f)},
    {"largest float matches", std::numeric_limits<float>::max(),
     std::bit_cast<std::uint32_t>(std::numeric_limits<float>::max()), missingBits},
    {"subnormal matches", std::numeric_limits<float>::denorm_min(), 1, missingBits},
    {"next double above a float matches nothing", std::nextafter(1.0, 2.0),
     std::bit_cast<std::uint32_t>(1.0f), std::bit_cast<std::uint32_t>(1.0f)},
};

TEST(CellConversion, RealCells) {
    for (const auto& check : realCases) {
        std::uint32_t output = 0;
        ConvertRow(Conversion(DataType::Real, check.flagValue, 1),
                   reinterpret_cast<const std::byte*>(&check.stored), reinterpret_cast<std::byte*>(&output));
        EXPECT_EQ(output, check.expected) << check.what;
    }
}

TEST(CellConversion, WholeRowEveryCell) {
    const std::vector<std::uint8_t> row = {0, 7, 255, 7, 0, 1, 7};
    std::vector<std::int32_t> output(row.size(), 99);
    ConvertRow(Conversion(DataType::Byte, 7, row.size()), reinterpret_cast<const std::byte*>(row.data()),
               reinterpret_cast<std::byte*>(output.data()));
    EXPECT_EQ(output, (std::vector<std::int32_t>{0, integerNoData, 255, integerNoData, 0, 1, integerNoData}));
}

// Rows long enough for whole vectors and a tail, with flagged cells in both.
template <typename Cell>
void CheckLongRow(DataType dataType, Cell flag, std::uint32_t flaggedOutput) {
    std::vector<Cell> row(37);
    std::vector<std::uint32_t> expected(row.size());
    for (std::size_t column = 0; column < row.size(); ++column) {
        row[column] = column % 5 == 3 ? flag : static_cast<Cell>(column * 3);
        if constexpr (std::is_same_v<Cell, float>)
            expected[column] = std::bit_cast<std::uint32_t>(row[column]);
        else
            expected[column] = static_cast<std::uint32_t>(std::int32_t{row[column]});
        if (column % 5 == 3) expected[column] = flaggedOutput;
    }
    std::vector<std::uint32_t> output(row.size(), 1);
    ConvertRow(Conversion(dataType, static_cast<double>(flag), row.size()),
               reinterpret_cast<const std::byte*>(row.data()), reinterpret_cast<std::byte*>(output.data()));
    EXPECT_EQ(output, expected) << "type " << static_cast<int>(dataType);
}

TEST(CellConversion, LongRowsEveryCell) {
    const auto noData = static_cast<std::uint32_t>(integerNoData);
    CheckLongRow<std::uint8_t>(DataType::Byte, 7, noData);
    CheckLongRow<std::int16_t>(DataType::Integer, -99, noData);
    CheckLongRow<float>(DataType::Real, -99.0f, missingBits);
}

TEST(CellConversion, FlagTruncation) {
    constexpr double twoToThe63 = 9223372036854775808.0;
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    const struct {
        double flagValue;
        std::int64_t expected;
    } cases[] = {{3.7, 3},         {-3.7, -3},          {-twoToThe63, lowest},
                 {twoToThe63, lowest}, {1e300, lowest}, {std::nan(""), lowest},
                 {-std::numeric_limits<double>::infinity(), lowest},
                 {9223372036854774784.0, 9223372036854774784}};
    for (const auto& check : cases)
        EXPECT_EQ(TruncateFlagValue(check.flagValue), check.expected) << check.flagValue;
}

}  // namespace
