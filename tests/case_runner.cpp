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
#include <sstream>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Case {
    std::string name;
    std::string where;
    std::optional<std::string> header;
    std::optional<std::string> data;
    Lines files{"img.doc", "img.img"};
    Lines arguments{"img", "out"};
    Lines environment;
    std::string library = "recording";
    std::string prints;
    int status = 0;
    std::optional<Lines> calls, rows, gdal, cells, leaves;
};

void PrintTo(const Case& check, std::ostream* stream) { *stream << check.where; }

Lines Words(const std::string& text) {
    Lines words;
    std::istringstream stream(text);
    for (std::string word; stream >> std::quoted(word);) words.push_back(word);
    return words;
}

// "x*3" stands for "x x x", and "[a b]*2" for "a b a b".
Lines Expanded(const Lines& words) {
    Lines result;
    for (std::size_t at = 0; at < words.size(); ++at) {
        Lines group{words[at]};
        while (group.front().starts_with("[") && group.back().find(']') == std::string::npos)
            group.push_back(words.at(++at));
        const std::size_t star = group.back().find('*');
        const int times = star == std::string::npos ? 1 : std::stoi(group.back().substr(star + 1));
        group.back() = group.back().substr(0, star);
        if (group.front().starts_with("[")) group.front().erase(0, 1), group.back().pop_back();
        for (int copy = 0; copy < times; ++copy) result.insert(result.end(), group.begin(), group.end());
    }
    return result;
}

std::string CellBytes(const Lines& words) {
    std::string bytes;
    const std::string& type = words.at(0);
    for (const std::string& word : Expanded(Lines(words.begin() + 1, words.end()))) {
        const auto put = [&](auto cell) { bytes.append(reinterpret_cast<const char*>(&cell), sizeof cell); };
        if (type == "u8" || type == "hex") put(static_cast<std::uint8_t>(std::stoi(word, nullptr, type == "hex" ? 16 : 10)));
        if (type == "i16") put(static_cast<std::int16_t>(std::stoi(word)));
        if (type == "f32") put(std::stof(word));
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

// "image byte packed 3x2": a whole header with square cells of 1.
std::string ImageHeader(const Lines& words) {
    const std::string size = words.at(2);
    const std::string columns = size.substr(0, size.find('x'));
    const std::string rows = size.substr(size.find('x') + 1);
    return "data type : " + words.at(0) + "\nfile type : " + (words[1] == "packed" ? "packed binary" : words[1]) +
           "\ncolumns : " + columns + "\nrows : " + rows + "\nmin. X : 0\nmax. X : " + columns +
           "\nmin. Y : 0\nmax. Y : " + rows + "\n";
}

void Apply(const std::string& keyword, const std::string& rest, const Lines& block, Case& check) {
    const auto joined = [&](auto each) {
        std::string text = check.header.value_or("");
        for (const std::string& line : block) text += each(line);
        return text;
    };
    const auto expanded = [&] {
        Lines lines;
        for (const std::string& line : block) {
            std::string cells;
            for (const std::string& cell : Expanded(Words(line))) cells += (cells.empty() ? "" : " ") + cell;
            lines.push_back(cells);
        }
        return lines;
    };
    if (keyword == "image") check.header = check.header.value_or("") + ImageHeader(Words(rest));
    else if (keyword == "header") check.header = joined(HeaderLine);
    else if (keyword == "data") check.data = check.data.value_or("") + CellBytes(Words(rest));
    else if (keyword == "files") check.files = Words(rest);
    else if (keyword == "run") check.arguments = Words(rest);
    else if (keyword == "set") check.environment.push_back(rest);
    else if (keyword == "library") check.library = rest;
    else if (keyword == "prints") for (const std::string& line : block) check.prints += line + "\n";
    else if (keyword == "status") check.status = std::stoi(rest);
    else if (keyword == "calls") check.calls = block;
    else if (keyword == "rows") check.rows = expanded();
    else if (keyword == "gdal") check.gdal = block;
    else if (keyword == "cells") check.cells = expanded();
    else if (keyword == "leaves") check.leaves = block;
    else throw std::runtime_error(check.where + ": unknown word " + keyword);
}

std::string TestName(const fs::path& file, const std::string& title) {
    std::string name = file.stem().string() + "_";
    for (std::size_t at = 0; at < title.size(); ++at) {
        if (!std::isalnum(static_cast<unsigned char>(title[at]))) continue;
        const bool wordStart = at == 0 || !std::isalnum(static_cast<unsigned char>(title[at - 1]));
        name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(title[at]))) : title[at];
    }
    return name;
}

// Lines indented by two blanks, and empty lines between them, belong to the
// keyword line above them.
void ReadCases(const fs::path& file, std::vector<Case>& cases) {
    std::ifstream stream(file);
    Lines lines;
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    for (std::size_t at = 0; at < lines.size(); ++at) {
        const std::string& line = lines[at];
        if (line.empty() || line.starts_with("#") || line.starts_with(" ")) continue;
        const std::string keyword = line.substr(0, line.find(' '));
        const std::string rest = line.size() > keyword.size() ? line.substr(keyword.size() + 1) : "";
        Lines block;
        const auto indented = [&](std::size_t next) { return next < lines.size() && lines[next].starts_with("  "); };
        while (indented(at + 1) || (at + 2 < lines.size() && lines[at + 1].empty() && indented(at + 2)))
            block.push_back(lines[++at].empty() ? "" : lines[at].substr(2));
        if (keyword == "case") {
            cases.emplace_back();
            cases.back().name = TestName(file, rest);
            cases.back().where = file.filename().string() + ":" + std::to_string(at + 1);
        } else {
            Apply(keyword, rest, block, cases.at(cases.size() - 1));
        }
    }
}

std::vector<Case> AllCases() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(CELLPORT_CASES)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<Case> cases;
    for (const fs::path& file : files)
        if (file.extension() == ".txt") ReadCases(file, cases);
    return cases;
}

Lines TextLines(const std::string& text) {
    Lines lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// A line "..." stands for any number of lines.
bool Matches(const Lines& expected, std::size_t at, const Lines& actual, std::size_t from) {
    if (at == expected.size()) return from == actual.size();
    if (expected[at] == "...")
        for (std::size_t skip = from; skip <= actual.size(); ++skip)
            if (Matches(expected, at + 1, actual, skip)) return true;
    return from < actual.size() && expected[at] == actual[from] && Matches(expected, at + 1, actual, from + 1);
}

std::string Listed(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

// The cells of each row written, without the channel, row index and label.
Lines RowsWritten(const Lines& log) {
    Lines rows;
    for (const std::string& line : log)
        if (line.starts_with("PutWindowRow ")) rows.push_back(line.substr(line.find(' ', line.find('@')) + 1));
    return rows;
}

// The grid's cells as GDAL reads them, a line a row.
Lines GdalCells(const fs::path& folder) {
    const ProcessResult copy = RunProcess({"gdal_translate", "-q", "-of", "XYZ", "out/cells.raw", "/vsistdout/"}, {}, folder);
    Lines rows;
    std::string lastY;
    for (const std::string& line : TextLines(copy.standardOutput)) {
        const Lines xyz = Words(line);
        if (rows.empty() || xyz.at(1) != lastY) rows.emplace_back();
        rows.back() += (rows.back().empty() ? "" : " ") + xyz.at(2);
        lastY = xyz[1];
    }
    return rows;
}

Lines FolderListing(const fs::path& folder) {
    Lines names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(names.begin(), names.end());
    std::erase(names, "log");
    return names;
}

// The program that finds the case's library first: the project's own
// beside it; a stand-in beside a copy of it on Windows, or first in
// LD_LIBRARY_PATH elsewhere; with "none", a copy of the program alone.
std::string ProgramFor(const Case& check, const ScratchFolder& scratch, Lines& environment) {
    const fs::path program(CELLPORT_PROGRAM);
    const fs::path variant = fs::path(FAKE_VARIANTS_FOLDER) / check.library;
    if (check.library == "real") return program.string();
    if (check.library == "none") {
        fs::create_directory(scratch / "alone");
        fs::copy_file(program, scratch / "alone" / program.filename().string());
        return (scratch / "alone" / program.filename().string()).string();
    }
#ifdef _WIN32
    return (variant / program.filename()).string();
#else
    environment.push_back("LD_LIBRARY_PATH=" + variant.string());
    return program.string();
#endif
}

class Cases : public testing::TestWithParam<Case> {};

TEST_P(Cases, PrintExitAndWriteAsExpected) {
    const Case& check = GetParam();
#ifdef _WIN32
    if (check.gdal || check.cells) GTEST_SKIP() << "GDAL's tools here are Linux programs";
#endif
    const ScratchFolder scratch;
    if (check.header) WriteFile(scratch / check.files.at(0), *check.header);
    if (check.data) WriteFile(scratch / check.files.at(1), *check.data);
    Lines environment = check.environment;
    environment.push_back("FAKE_GRID_LOG=" + (scratch / "log").string());
    Lines arguments = check.arguments;
    arguments.insert(arguments.begin(), ProgramFor(check, scratch, environment));

    const ProcessResult run = RunProcess(arguments, environment, scratch.Path());
    EXPECT_EQ(run.standardOutput, check.prints);
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(run.exitStatus, check.status);
    const Lines log = TextLines(ReadFile(scratch / "log"));
    if (check.calls) {
        EXPECT_TRUE(Matches(*check.calls, 0, log, 0)) << "calls:" << Listed(log);
    }
    if (check.rows) {
        EXPECT_EQ(Listed(RowsWritten(log)), Listed(*check.rows));
    }
    if (check.leaves) {
        EXPECT_EQ(Listed(FolderListing(scratch.Path())), Listed(*check.leaves));
    }
    if (check.cells) {
        EXPECT_EQ(Listed(GdalCells(scratch.Path())), Listed(*check.cells));
    }
    if (check.gdal) {
        const ProcessResult info = RunProcess({"gdalinfo", "out/cells.raw"}, {}, scratch.Path());
        Lines shown = TextLines(info.standardOutput + info.standardError);
        for (std::string& line : shown) line.erase(0, line.find_first_not_of(' '));
        EXPECT_TRUE(Matches(*check.gdal, 0, shown, 0)) << "gdalinfo:" << Listed(shown);
    }
}

INSTANTIATE_TEST_SUITE_P(, Cases, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
