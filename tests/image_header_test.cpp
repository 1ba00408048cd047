#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/header_piece_reader.h"
#include "image/image_header.h"
#include "support/case_name.h"

namespace {

std::string Field(const ImageHeader& header, HeaderKey key, double value) {
    if (!header.HasLineFor(key)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The whole header in one line, so that a case states all it expects.
std::string Describe(const ImageHeader& header) {
    return "data=" + std::to_string(static_cast<int>(header.dataType)) +
           " file=" + std::to_string(static_cast<int>(header.fileType)) +
           " columns=" + Field(header, HeaderKey::Columns, header.columns) +
           " rows=" + Field(header, HeaderKey::Rows, header.rows) +
           " box=" + Field(header, HeaderKey::MinX, header.minX) + "," +
           Field(header, HeaderKey::MinY, header.minY) + "," +
           Field(header, HeaderKey::MaxX, header.maxX) + "," +
           Field(header, HeaderKey::MaxY, header.maxY) +
           " flag=" + (header.hasFlagValue ? Field(header, HeaderKey::FlagValue, header.flagValue) : "none");
}

ImageHeader Read(const std::string& text) {
    MemoryByteSource source(std::as_bytes(std::span(text.data(), text.size())));
    return ReadImageHeader(source);
}

struct HeaderCase {
    const char* what;
    std::string text;
    const char* expected;
};

const std::string complete =
    "file title  : test\n"
    "data type   : integer\n"
    "file type   : packed binary\n"
    "columns     : 512\n"
    "rows        : 480\n"
    "ref. system : plane\n"
    "min. X      : 0\n"
    "max. X      : 512\n"
    "min. Y      : -0.5\n"
    "max. Y      : 479.5\n"
    "flag value  : -99\n";
const char* const completeRead = "data=2 file=3 columns=512 rows=480 box=0,-0.5,512,479.5 flag=-99";

std::string WithCrLf(const std::string& text) {
    std::string result;
    for (char character : text) result += character == '\n' ? std::string("\r\n") : std::string(1, character);
    return result;
}

const HeaderCase headerCases[] = {
    {"empty file", "", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"complete header", complete, completeRead},
    {"CR LF line ends", WithCrLf(complete), completeRead},
    {"char after colon skipped", "columns:512\n", "data=0 file=0 columns=12 rows=- box=-,-,-,- flag=none"},
    {"trailing text after number", "columns : 512 cells\n", "data=0 file=0 columns=512 rows=- box=-,-,-,- flag=none"},
    {"capital value", "data type : Byte\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"trailing blank in value", "data type : byte \n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"last recognised type wins", "data type : real\ndata type : float\nfile type : binary\nfile type : ascii\n"
     "file type : packed binary\n", "data=3 file=3 columns=- rows=- box=-,-,-,- flag=none"},
    {"ascii last", "file type : binary\nfile type : packed binary\nfile type : ascii\n",
     "data=0 file=1 columns=- rows=- box=-,-,-,- flag=none"},
    {"flag none", "flag value : none\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"flag zero", "flag value : 0\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=0"},
    {"flag without number", "flag value : missing\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=0"},
    {"flag none with blank", "flag value : none \n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=0"},
    {"none never clears a flag", "flag value : 255\nflag value : none\n",
     "data=0 file=0 columns=- rows=- box=-,-,-,- flag=255"},
    {"blank before key", " rows : 5\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"letters after key", "rowsxyz : 5\n", "data=0 file=0 columns=- rows=5 box=-,-,-,- flag=none"},
    {"numbers: last wins", "rows : 5\nrows : 7\n", "data=0 file=0 columns=- rows=7 box=-,-,-,- flag=none"},
    {"key line without colon", "rows 5\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"newline right after colon", "columns :\n", "data=0 file=0 columns=0 rows=- box=-,-,-,- flag=none"},
    {"last line without newline", "rows : 42", "data=0 file=0 columns=- rows=42 box=-,-,-,- flag=none"},
    {"colon ends the file", "rows :", "data=0 file=0 columns=- rows=0 box=-,-,-,- flag=none"},
    {"integer clamped high", "columns : 99999999999\n",
     "data=0 file=0 columns=2147483647 rows=- box=-,-,-,- flag=none"},
    {"integer clamped low", "columns : -99999999999\n",
     "data=0 file=0 columns=-2147483648 rows=- box=-,-,-,- flag=none"},
    {"integer sign and blanks", "rows :   +12\nrows\t:\t-3x\n", "data=0 file=0 columns=- rows=-3 box=-,-,-,- flag=none"},
    {"reals", "min. X : 1e3\nmin. Y : -12.5abc\nmax. X : abc\nmax. Y :  .25\n",
     "data=0 file=0 columns=- rows=- box=1000,-12.5,0,0.25 flag=none"},
    {"100-char line without key", std::string(100, 'x') + "\n", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"key at the 80th character", std::string(79, 'x') + "rows : 7\n",
     "data=0 file=0 columns=- rows=7 box=-,-,-,- flag=none"},
    {"long key line cut after 79", "columns : " + std::string(100, '1') + "\n",
     "data=0 file=0 columns=2147483647 rows=- box=-,-,-,- flag=none"},
    {"Ctrl-Z ends the file", "rows : 5\n\x1A" "columns : 9\n", "data=0 file=0 columns=- rows=5 box=-,-,-,- flag=none"},
    {"lone CR stays", "data type : byte\r\r\nrows : 4\r\n", "data=0 file=0 columns=- rows=4 box=-,-,-,- flag=none"},
    {"CR before Ctrl-Z stays", "data type : byte\r\x1A", "data=0 file=0 columns=- rows=- box=-,-,-,- flag=none"},
    {"NUL ends what is examined", std::string("rows : 5\0 9\ncolumns : 3\n", 24),
     "data=0 file=0 columns=3 rows=5 box=-,-,-,- flag=none"},
};

class HeaderReading : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderReading, ReadsWhatTheLinesSay) {
    EXPECT_EQ(Describe(Read(GetParam().text)), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderReading, testing::ValuesIn(headerCases), CaseName());

TEST(HeaderReading, PiecesSplitAcrossReadBlocks) {
    // A CR LF pair that falls on the reader's block boundary is still one newline.
    std::string text(4095, '#');
    text += "\r\nrows : 6\r\n";
    EXPECT_EQ(Read(text).rows, 6);
    EXPECT_TRUE(Read(text).HasLineFor(HeaderKey::Rows));
}

TEST(HeaderPieces, TextModeRulesBeforeCutting) {
    // A CR kept back after another CR is still dropped before its LF, and
    // the 79-character cut counts characters after that.
    const std::string text = "a\r\r\n" + std::string(78, 'x') + "\r\n";
    MemoryByteSource source(std::as_bytes(std::span(text.data(), text.size())));
    HeaderPieceReader reader(source);
    std::vector<std::string> pieces;
    for (std::string_view piece; reader.NextPiece(piece);) pieces.emplace_back(piece);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a\r\n", std::string(78, 'x') + "\n"}));
}

}  // namespace
