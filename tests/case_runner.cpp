// Runs the converter on each case of tests/cases/*.txt and compares what it
// printed, its exit status, its grid calls (with the recording stand-in
// library) or the grid it left (with the project's library, read back with
// GDAL) with what the case expects. tests/cases/README.md tells the format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <optional>
#include <regex>
#include <set>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Case {
    std::string name, where;
    std::optional<std::string> header, data;
    Lines files{"img.doc", "img.img"}, arguments{"img", "out"}, environment, make, folders;
    std::vector<Lines> copies;
    std::string library = "recording", prints;
    int status = 0;
    bool caseSensitiveNames = false;
    bool sameAsFolderGrid = false;
    std::optional<Lines> calls, rows, gdal, cells, leaves, doc, gridHeader;
    std::optional<std::string> epsg, cog;
};

void PrintTo(const Case& check, std::ostream* stream) { *stream << check.where; }

Lines Split(const std::string& text, char separator) {
    Lines parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        if (separator == '\n' || !part.empty()) parts.push_back(part);
    return parts;
}

Lines Words(const std::string& text) {
    Lines words;
    std::istringstream stream(text);
    for (std::string word; stream >> std::quoted(word);) words.push_back(word);
    return words;
}

// "x*3" stands for "x x x", and "[a b]*2" for "a b a b".
std::string Expanded(std::string text) {
    const std::regex repeated(R"(\[([^\]]*)\]\*(\d+)|(\S+)\*(\d+))");
    for (std::smatch found; std::regex_search(text, found, repeated);) {
        std::string copies;
        for (int copy = std::stoi(found[2].matched ? found[2] : found[4]); copy > 0; --copy)
            copies += (found[1].matched ? found[1] : found[3]).str() + " ";
        text.replace(found.position(), found.length(), copies);
    }
    return text;
}

std::string CellBytes(const std::string& type, const std::string& cells) {
    std::string bytes;
    const auto put = [&](auto cell) { bytes.append(reinterpret_cast<const char*>(&cell), sizeof cell); };
    for (const std::string& cell : Words(Expanded(cells))) {
        if (type == "u8" || type == "hex")
            put(static_cast<std::uint8_t>(std::stoi(cell, nullptr, type == "hex" ? 16 : 10)));
        if (type == "i16") put(static_cast<std::int16_t>(std::stoi(cell)));
        if (type == "f32") put(std::stof(cell));
    }
    return bytes;
}

// \r, \t, \0, \xHH and \\ are escapes; \c at the end leaves out the newline.
std::string HeaderLine(const std::string& line) {
    std::string text;
    for (std::size_t at = 0; at < line.size(); ++at) {
        const char escape = line[at] == '\\' && at + 1 < line.size() ? line[++at] : '\0';
        if (escape == 'c') return text;
        if (escape == 'x') text += static_cast<char>(std::stoi(line.substr(at + 1, 2), nullptr, 16)), at += 2;
        else if (escape) text += escape == 'r' ? '\r' : escape == 't' ? '\t' : escape == '0' ? '\0' : escape;
        else text += line[at];
    }
    return text + "\n";
}

// "byte packed 3x2": a whole header with square cells of 1 from (0, 0).
std::string ImageHeader(const Lines& words) {
    const Lines size = Split(words.at(2), 'x');
    return "data type : " + words.at(0) + "\nfile type : " + (words[1] == "packed" ? "packed binary" : words[1]) +
           "\ncolumns : " + size.at(0) + "\nrows : " + size.at(1) + "\nmin. X : 0\nmax. X : " + size[0] +
           "\nmin. Y : 0\nmax. Y : " + size[1] + "\n";
}

void Apply(const std::string& keyword, const std::string& rest, const Lines& block, Case& check) {
    Lines cellLines;
    for (const std::string& line : block) cellLines.push_back(Expanded(line));
    for (std::string& line : cellLines) line = std::regex_replace(line, std::regex(R"(^\s+|\s+$|\s+(?=\s))"), "");
    const std::string cells = rest.substr(std::min(rest.size(), rest.find(' ')));
    if (keyword == "image" || keyword == "header") check.header = check.header.value_or("");
    if (keyword == "image") *check.header += ImageHeader(Words(rest));
    else if (keyword == "header") for (const std::string& line : block) *check.header += HeaderLine(line);
    else if (keyword == "data") check.data = check.data.value_or("") + CellBytes(Words(rest).at(0), cells);
    else if (keyword == "files") check.files = Words(rest);
    else if (keyword == "folders") check.folders = Words(rest);
    else if (keyword == "copies") check.copies.push_back(Words(rest));
    else if (keyword == "case-sensitive") check.caseSensitiveNames = true;
    else if (keyword == "make") check.make = Words("\"" CELLPORT_MAKE_IMAGE "\" " + rest);
    else if (keyword == "run") check.arguments = Words(rest);
    else if (keyword == "set") check.environment.push_back(rest);
    else if (keyword == "library") check.library = rest;
    else if (keyword == "prints") for (const std::string& line : block) check.prints += line + "\n";
    else if (keyword == "status") check.status = std::stoi(rest);
    else if (keyword == "calls") check.calls = block;
    else if (keyword == "rows") check.rows = cellLines;
    else if (keyword == "gdal") check.gdal = block;
    else if (keyword == "cells") check.cells = cellLines;
    else if (keyword == "leaves") check.leaves = block;
    else if (keyword == "doc") check.doc = block;
    else if (keyword == "grid-header") check.gridHeader = block;
    else if (keyword == "epsg") check.epsg = rest;
    else if (keyword == "cog") check.cog = rest;
    else if (keyword == "same-as-folder-grid") check.sameAsFolderGrid = true;
    else throw std::runtime_error(check.where + ": unknown word " + keyword);
}

// Lines indented by two blanks, and empty lines between them, belong to the
// keyword line above them.
void ReadCases(const fs::path& file, std::vector<Case>& cases) {
    std::ifstream stream(file);
    const Lines lines = Split(std::string(std::istreambuf_iterator<char>(stream), {}), '\n');
    const auto indented = [&](std::size_t at) { return at < lines.size() && lines[at].starts_with("  "); };
    for (std::size_t at = 0; at < lines.size(); ++at) {
        const std::string line = lines[at], keyword = line.substr(0, line.find(' '));
        if (line.empty() || line.starts_with("#") || line.starts_with(" ")) continue;
        Lines block;
        while (indented(at + 1) || (at + 2 < lines.size() && lines[at + 1].empty() && indented(at + 2)))
            block.push_back(lines[++at].empty() ? "" : lines[at].substr(2));
        const std::string rest = line.substr(std::min(line.size(), keyword.size() + 1));
        if (keyword != "case") Apply(keyword, rest, block, cases.at(cases.size() - 1));
        if (keyword != "case") continue;
        cases.emplace_back().where = file.filename().string() + ":" + std::to_string(at + 1);
        cases.back().name = file.stem().string() + "_";
        for (const std::string& word : Words(std::regex_replace(rest, std::regex("[^A-Za-z0-9]"), " ")))
            cases.back().name += static_cast<char>(std::toupper(word[0])) + word.substr(1);
    }
}

std::vector<Case> AllCases() {
    const std::set<fs::path> files(fs::directory_iterator(CELLPORT_CASES), {});
    std::vector<Case> cases;
    for (const fs::path& file : files) {
#ifndef CELLPORT_GEOTIFF  // a build without GDAL, or for Windows, writes no GeoTIFF
        if (file.stem() == "geotiff" || file.stem() == "system") continue;
#endif
#ifndef CELLPORT_SRS  // nor one without PROJ a coordinate system
        if (file.stem() == "system") continue;
#endif
        if (file.extension() == ".txt") ReadCases(file, cases);
    }
    return cases;
}

// A line "..." stands for any number of lines.
bool Matches(const Lines& expected, std::size_t at, const Lines& actual, std::size_t from) {
    if (at == expected.size()) return from == actual.size();
    if (expected[at] == "...")
        for (std::size_t skip = from; skip <= actual.size(); ++skip)
            if (Matches(expected, at + 1, actual, skip)) return true;
    return from < actual.size() && expected[at] == actual[from] && Matches(expected, at + 1, actual, from + 1);
}

// The cells of each row written, without the channel, row index and label.
Lines RowsWritten(const Lines& log) {
    Lines rows;
    for (const std::string& line : log)
        if (line.starts_with("PutWindowRow ")) rows.push_back(line.substr(line.find(' ', line.find('@')) + 1));
    return rows;
}

// The file GDAL reads for a grid: itself for a GeoTIFF, else its cell file.
[[maybe_unused]] std::string GridFile(const std::string& grid) {
    const bool geoTiff = std::regex_search(grid, std::regex(R"(\.tiff?$)", std::regex::icase));
    return geoTiff ? grid : grid + "/cells.raw";
}

// The grid's cells as GDAL reads them, a line a row: "x y value" lines in
// which y changes from row to row.
[[maybe_unused]] Lines GdalCells(const fs::path& folder, const std::string& grid) {
    const Lines xyz = {"gdal_translate", "-q", "-of", "XYZ", GridFile(grid), "/vsistdout/"};
    Lines rows;
    std::string lastY;
    for (const std::string& line : Split(RunProcess(xyz, {}, folder).standardOutput, '\n')) {
        const Lines cell = Words(line);
        if (rows.empty() || cell.at(1) != lastY) rows.emplace_back(cell.at(2));
        else rows.back().append(" ").append(cell.at(2));
        lastY = cell[1];
    }
    return rows;
}

[[maybe_unused]] Lines GdalInfo(const fs::path& folder, const std::string& grid) {
    Lines shown = Split(RunProcess({"gdalinfo", GridFile(grid)}, {}, folder).standardOutput, '\n');
    for (std::string& line : shown) line.erase(0, line.find_first_not_of(' '));
    return shown;
}

// The program that finds the case's library first: the project's own
// beside it; a stand-in beside a copy of it on Windows, or first in
// LD_LIBRARY_PATH elsewhere; with "none", a copy of the program alone.
std::string ProgramFor(const Case& check, [[maybe_unused]] Lines& environment) {
    const fs::path program(CELLPORT_PROGRAM), variant = fs::path(FAKE_VARIANTS_FOLDER) / check.library;
#ifdef _WIN32
    const bool copyBeside = check.library != "real";
#else
    const bool copyBeside = check.library == "none";
    if (!copyBeside && check.library != "real") environment.push_back("LD_LIBRARY_PATH=" + variant.string());
#endif
    return (copyBeside ? variant / program.filename() : program).string();
}

class Cases : public testing::TestWithParam<Case> {};

TEST_P(Cases, PrintExitAndWriteAsExpected) {
    const Case& check = GetParam();
#ifdef _WIN32
    if (check.caseSensitiveNames) GTEST_SKIP() << "file names here ignore case";
#endif
    const ScratchFolder scratch;
    for (const std::string& folder : check.folders) fs::create_directory(scratch / folder);
    if (check.header) WriteFile(scratch / check.files.at(0), *check.header);
    if (check.data) WriteFile(scratch / check.files.at(1), *check.data);
    for (const Lines& copy : check.copies)
        for (std::size_t name = 1; name < copy.size(); ++name)
            WriteFile(scratch / copy[name], copy.at(0) == "header" ? check.header.value() : check.data.value());
    if (!check.make.empty()) {
        ASSERT_EQ(RunProcess(check.make, {}, scratch.Path()).exitStatus, 0);
    }
    EXPECT_EQ(check.doc.value_or(Lines{}), check.doc ? Split(ReadFile(scratch / "img.doc"), '\n') : Lines{});
    Lines environment = check.environment, arguments = check.arguments;
    environment.push_back("FAKE_GRID_LOG=" + (scratch / "log").string());
    arguments.insert(arguments.begin(), ProgramFor(check, environment));

    const ProcessResult run = RunProcess(arguments, environment, scratch.Path());
    EXPECT_EQ(run.standardOutput, check.prints);
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(run.exitStatus, check.status);
    const Lines log = Split(ReadFile(scratch / "log"), '\n');
    EXPECT_TRUE(!check.calls || Matches(*check.calls, 0, log, 0)) << testing::PrintToString(log);
    const Lines rows = RowsWritten(log);
    EXPECT_EQ(check.rows.value_or(rows), rows);
    Lines left = FolderListing(scratch.Path());
    std::erase(left, "log");
    EXPECT_EQ(check.leaves.value_or(left), left);
#ifndef _WIN32  // GDAL's tools here are Linux programs
    const std::string grid = check.arguments.size() > 1 ? check.arguments[1] : "out";
    EXPECT_EQ(check.cells.value_or(Lines{}), check.cells ? GdalCells(scratch.Path(), grid) : Lines{});
    if (check.gdal) {
        const Lines shown = GdalInfo(scratch.Path(), grid);
        EXPECT_TRUE(Matches(*check.gdal, 0, shown, 0)) << testing::PrintToString(shown);
    }
    if (check.gridHeader) {
        const Lines text = Split(ReadFile(scratch / grid / "cells.hdr"), '\n');
        EXPECT_TRUE(Matches(*check.gridHeader, 0, text, 0)) << testing::PrintToString(text);
    }
    if (check.epsg) {
        // The grid's own system is the source: no -s_srs. Its place in degrees
        // shows that gdalwarp reprojected rather than copied the coordinates.
        const ProcessResult warp =
            RunProcess({"gdalwarp", "-q", "-t_srs", "EPSG:4326", GridFile(grid), "warped.tif"}, {}, scratch.Path());
        EXPECT_EQ(warp.exitStatus, 0) << warp.standardError;
        const std::string code = "import rasterio, sys\nwith rasterio.open(sys.argv[1]) as grid, "
                                 "rasterio.open('warped.tif') as warped:\n"
                                 "  print(grid.crs.to_epsg(), 'at %.1f %.1f' % (warped.bounds.left, warped.bounds.top))";
        EXPECT_EQ(RunProcess({"/usr/bin/python3", "-c", code, GridFile(grid)}, {}, scratch.Path()).standardOutput,
                  *check.epsg + "\n");
    }
    if (check.cog) {
        const std::string checker = CELLPORT_SOURCE_DIR "/tests/support/check_cog.py";
        const ProcessResult checked = RunProcess({"/usr/bin/python3", checker, grid}, {}, scratch.Path());
        EXPECT_EQ(checked.standardOutput, *check.cog + "\n") << checked.standardError;
    }
    if (!check.sameAsFolderGrid) return;
    arguments.at(2) = "folder grid";
    ASSERT_EQ(RunProcess(arguments, environment, scratch.Path()).standardOutput, "");
    const Lines cells = GdalCells(scratch.Path(), grid);
    EXPECT_FALSE(cells.empty());
    EXPECT_EQ(cells, GdalCells(scratch.Path(), arguments[2]));
    // Size, place, cell size, cell type and no-data, leaving out how the file stores them.
    const auto described = [&](const std::string& name) {
        const std::regex wanted(R"(^(Size is|Origin|Pixel Size|NoData).*|Type=\w+)");
        Lines kept;
        for (const std::string& line : GdalInfo(scratch.Path(), name))
            for (std::sregex_iterator found(line.begin(), line.end(), wanted), end; found != end; ++found)
                kept.push_back(found->str());
        return kept;
    };
    EXPECT_EQ(described(grid).size(), 5u);
    EXPECT_EQ(described(grid), described(arguments[2]));
    // Other readers open it without a word of warning.
    EXPECT_EQ(RunProcess({"gdalinfo", "-json", "-checksum", grid}, {}, scratch.Path()).standardError, "");
    const std::string rasterio = "import rasterio, sys\nwith rasterio.open(sys.argv[1]) as grid: grid.read(1)";
    const ProcessResult python = RunProcess({"/usr/bin/python3", "-W", "error", "-c", rasterio, grid}, {}, scratch.Path());
    EXPECT_EQ(python.exitStatus, 0) << python.standardError;
    EXPECT_EQ(python.standardError, "");
#endif
}

INSTANTIATE_TEST_SUITE_P(, Cases, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
