// The project's grid library through its C interface, where callers other
// than the converter may take it: rows in any order, giving up part way,
// other windows, other arguments, deleting.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <array>
#include <bit>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <tuple>

#include "mdgridio/grid_places.h"
#include "mdgridio/mdgridio.h"
#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Box = std::array<double, 4>;
using Cells = std::vector<std::uint32_t>;

// Each test works in a scratch folder of its own and leaves no grid open.
class GridLibrary : public testing::Test {
protected:
    void SetUp() override { fs::current_path(scratch.Path()); }
    void TearDown() override {
        GridIOExit();
        fs::current_path(startFolder);
    }
    // Creates a grid and sets the window to it, as the converter does.
    static int Create(const char* name, int cellType, Box box) {
        const int channel = CellLayerCreate(name, 3, 1, cellType, 1, box.data());
        Box fitted{};
        AccessWindowSet(box.data(), 1, fitted.data());
        return channel;
    }
    const fs::path startFolder = fs::current_path();
    const ScratchFolder scratch;
};

// Rows skipped before the last one written hold no-data; a row written
// again holds its last cells; rows of 1.2 MB reach past the write buffer.
TEST_F(GridLibrary, RowsInAnyOrderHoldTheirLastCellsAndNoDataWhereSkipped) {
    const struct {
        int cellType, columns, rows;
        std::vector<std::pair<int, std::uint32_t>> writes;  // row, and every cell's bits
    } cases[] = {{1, 3, 5, {{2, 7}, {0, 0x80000000u}, {4, 0x7fffffffu}, {2, 9}}},
                 {2, 2, 4, {{3, 0x3fc00000u}, {1, 0xc0100000u}}},
                 {1, 300000, 3, {{2, 5}, {0, 6}}}};
    for (const auto& [cellType, columns, rows, writes] : cases) {
        Cells expected(std::size_t(columns) * rows, cellType == 2 ? 0xff7fffffu : 0x80000001u);
        const int channel = Create("g", cellType, {10, 20, 10.0 + columns, 20.0 + rows});
        for (const auto& [row, bits] : writes) {
            const Cells cells(std::size_t(columns), bits);
            EXPECT_EQ(PutWindowRow(channel, row, cells.data()), 0);
            std::copy(cells.begin(), cells.end(), expected.begin() + std::ptrdiff_t{row} * columns);
        }
        for (const int badRow : {-1, rows}) EXPECT_LT(PutWindowRow(channel, badRow, expected.data()), 0);
        EXPECT_LT(PutWindowRow(channel + 1, 0, expected.data()), 0);
        EXPECT_LT(PutWindowRow(channel, 0, nullptr), 0);
        EXPECT_EQ(CellLyrClose(channel), 0);
        EXPECT_LT(CellLyrClose(channel), 0);
        const std::string bytes = ReadFile("g/cells.raw");
        EXPECT_TRUE(bytes.size() == 4 * expected.size() && !std::memcmp(bytes.data(), expected.data(), bytes.size()))
            << columns << " x " << rows;
        EXPECT_EQ(FolderListing("g"), (std::vector<std::string>{"cells.hdr", "cells.raw"}));
        EXPECT_EQ(CellLyrDelete("g"), 0);
    }
}

// A caller that gives up part way closes, then deletes: the close must not
// first fill the rest of the grid, which here would be 3.6 GB. Exiting
// finishes the grids left open that are whole, and only those.
TEST_F(GridLibrary, AGridWhoseLastRowWasNeverWrittenIsNeverFinished) {
    const Cells row(30000, 7);
    const int abandoned = Create("abandoned", 1, {0, 0, 30000, 30000});
    EXPECT_EQ(PutWindowRow(abandoned, 0, row.data()), 0);
    EXPECT_LT(CellLyrClose(abandoned), 0);
    EXPECT_LE(fs::file_size("abandoned/cells.raw"), row.size() * 4);
    EXPECT_EQ(CellLyrDelete("abandoned"), 0);
    PutWindowRow(Create("left open", 1, {0, 0, 30000, 30000}), 0, row.data());
    PutWindowRow(Create("whole", 1, {0, 0, 30000, 1}), 0, row.data());
    GridIOExit();
    EXPECT_EQ(FolderListing("."), (std::vector<std::string>{"left open", "left open/cells.raw", "whole",
                                                           "whole/cells.hdr", "whole/cells.raw"}));
}

#ifndef _WIN32
// The header is written last: a grid whose cells could not all be written,
// here for a file size limit, never gets one, whether the limit hits the
// last write at the close or refuses a row, which leaves a hole that rows
// written once the limit is lifted, after it or before it, do not fill.
TEST_F(GridLibrary, AGridWhoseCellsFailedNeverClosesAsWhole) {
    const struct {
        int columns;
        std::vector<int> rowsBefore, rowsUnderLimit, rowsAfter;
        bool closeUnderLimit;
    } cases[] = {{40000, {}, {0, 1}, {}, true}, {100000, {}, {0, 1}, {2}, false}, {100000, {2}, {0}, {1}, false}};
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limit{300000, unlimited.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& [columns, rowsBefore, rowsUnderLimit, rowsAfter, closeUnderLimit] : cases) {
        const Cells row(std::size_t(columns), 1);
        const auto rows = double(rowsBefore.size() + rowsUnderLimit.size() + rowsAfter.size());
        const int channel = Create("g", 1, {0, 0, double(columns), rows});
        for (const int before : rowsBefore) EXPECT_EQ(PutWindowRow(channel, before, row.data()), 0);
        setrlimit(RLIMIT_FSIZE, &limit);
        for (const int under : rowsUnderLimit) PutWindowRow(channel, under, row.data());
        if (!closeUnderLimit) setrlimit(RLIMIT_FSIZE, &unlimited);
        for (const int after : rowsAfter) PutWindowRow(channel, after, row.data());
        EXPECT_LT(CellLyrClose(channel), 0) << columns << " " << rowsBefore.size();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_FALSE(fs::exists("g/cells.hdr"));
        EXPECT_EQ(CellLyrDelete("g"), 0);
    }
}

// Other runs find a grid being written locked, and leave it alone, even
// under a name as long as the system allows; a finished grid is judged
// whole. Cells removed or replaced under an open grid never get a header.
TEST_F(GridLibrary, AGridBeingWrittenIsLockedAndFinishesOnlyOverItsOwnCells) {
    const int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> names = {"g"};
#ifdef CELLPORT_GEOTIFF
    names.insert(names.end(), {"g.tif", std::string(251, 'n') + ".tif"});
#endif
    const Cells row(3, 5);
    for (const std::string& name : names) {
        const int channel = Create(name.c_str(), 1, {0, 0, 3, 2});
        ASSERT_GE(channel, 0) << name.size();
        const auto during = FolderListing(".");
        EXPECT_EQ(mdgridio::JudgeGridPlace(here, name).state, mdgridio::PlaceState::BeingWritten);
        EXPECT_EQ(mdgridio::ClearLeftover(here, name).state, mdgridio::PlaceState::BeingWritten);
        EXPECT_EQ(FolderListing("."), during);
        for (const int index : {0, 1}) PutWindowRow(channel, index, row.data());
        EXPECT_EQ(CellLyrClose(channel), 0);
        const auto state = mdgridio::JudgeGridPlace(here, name).state;
        EXPECT_TRUE(state == mdgridio::PlaceState::Finished || (name != "g" && state == mdgridio::PlaceState::InTheWay))
            << name.size();
        EXPECT_EQ(CellLyrDelete(name.c_str()), 0);
    }
    for (const bool replaced : {false, true}) {
        const int channel = Create("g", 1, {0, 0, 3, 2});
        for (const int index : {0, 1}) PutWindowRow(channel, index, row.data());
        fs::remove("g/cells.raw");
        if (replaced) WriteFile("g/cells.raw", std::string(24, 'x'));
        EXPECT_LT(CellLyrClose(channel), 0);
        EXPECT_FALSE(fs::exists("g/cells.hdr"));
        fs::remove_all("g");
    }
    close(here);
}
#endif

#ifdef _WIN32
// Windows keeps a grid's folder from being renamed or removed while it is
// held, so its header can only land in it.
TEST_F(GridLibrary, AGridsFolderStaysWhereItIsWhileOpen) {
    const int channel = Create("g", 1, {0, 0, 1, 1});
    std::error_code refused;
    fs::rename("g", "moved", refused);
    EXPECT_TRUE(refused);
    fs::remove("g", refused);
    EXPECT_TRUE(refused);
    const std::int32_t cell = 3;
    PutWindowRow(channel, 0, &cell);
    EXPECT_EQ(CellLyrClose(channel), 0);
    EXPECT_EQ(FolderListing("."), (std::vector<std::string>{"g", "g/cells.hdr", "g/cells.raw"}));
}
#endif

// The caller's row holds as many cells as the window has columns.
TEST_F(GridLibrary, RowsOnlyWhileTheWindowIsTheGridsSize) {
    const int channel = Create("g", 1, {0, 0, 1000, 2});
    Box narrow{0, 0, 10, 2}, out{};
    ASSERT_EQ(AccessWindowSet(narrow.data(), 1, out.data()), 0);
    const Cells row(1000, 6);
    EXPECT_LT(PutWindowRow(channel, 0, row.data()), 0);
}

// What no run of the converter passes, and names already taken (even by a
// link to nowhere), are refused and leave everything as it was.
TEST_F(GridLibrary, RefusesWhatItCannotMakeAndLeavesEverythingAsItWas) {
    WriteFile("file", "x");
    fs::create_directory("folder");
    std::error_code noLinksHere;
    fs::create_symlink("nowhere", "dangling", noLinksHere);
    const auto before = FolderListing(".");
    const double largest = std::numeric_limits<double>::max();
    Box unit{0, 0, 1, 1}, halfCell{0, 0, 0.49, 1}, huge{0, 0, largest, largest};
    const struct {
        const char* name;
        int mode, access, cellType;
        double cellSize, *box;
    } refusals[] = {{"g", 3, 1, 3, 1, unit.data()}, {"g", 2, 1, 1, 1, unit.data()}, {"g", 3, 2, 1, 1, unit.data()},
                    {"g", 3, 1, 1, 1, nullptr}, {nullptr, 3, 1, 1, 1, unit.data()}, {"g", 3, 1, 1, 1, halfCell.data()},
                    {"g", 3, 1, 1, largest / 1.6, huge.data()}, {"file", 3, 1, 1, 1, unit.data()},
                    {"folder", 3, 1, 1, 1, unit.data()}, {noLinksHere ? "file" : "dangling", 3, 1, 1, 1, unit.data()}};
    for (const auto& [name, mode, access, cellType, cellSize, box] : refusals) {
        EXPECT_EQ(CellLyrExists(name) == 0, !name || name == std::string("g")) << name;
        EXPECT_LT(CellLayerCreate(name, mode, access, cellType, cellSize, box), 0) << name;
        EXPECT_LT(CellLyrDelete(name), 0) << name;
    }
    EXPECT_EQ(FolderListing("."), before);
}

#ifdef CELLPORT_SRS
// MDGRIDIO_SRS as PROJ resolves it: the header names the system the way its
// readers know it, through its EPSG code where the system has one for
// certain. What PROJ does not resolve to a two-dimensional system that a
// header line can hold fails a grid of either layout and leaves nothing; a
// projection GeoTIFF has no keys for fails a GeoTIFF grid.
TEST_F(GridLibrary, TakesTheCoordinateSystemMdgridioSrsNames) {
    const std::string utmWithoutCodes =
        R"(PROJCS["WGS 84 / UTM zone 33N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,)"
        R"(298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],PROJECTION[)"
        R"("Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",15],)"
        R"(PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],)"
        R"(UNIT["metre",1]])";
    const struct {
        std::string system;
        const char* mapInfo;  // null: refused
        bool geoTiffMade;
    } cases[] = {
        {"", "map info = {Arbitrary, 1, 1, 0, 2, 1, 1, 0, North}", true},
        {"EPSG:32633", "map info = {UTM, 1, 1, 0, 2, 1, 1, 33, North, WGS-84}", true},
        {"EPSG:32760", "map info = {UTM, 1, 1, 0, 2, 1, 1, 60, South, WGS-84}", true},
        {"wgs 84", "map info = {Geographic Lat/Lon, 1, 1, 0, 2, 1, 1, WGS-84}", true},
        {utmWithoutCodes, "map info = {UTM, 1, 1, 0, 2, 1, 1, 33, North, WGS-84}", true},
        {"+proj=utm +zone=33 +datum=WGS84", "map info = {UTM, 1, 1, 0, 2, 1, 1, 33, North, WGS-84}", true},
        {"+proj=laea +lat_0=52 +lon_0=10 +ellps=GRS80", "map info = {unknown, 1, 1, 0, 2, 1, 1}", true},
        {"+proj=moll +datum=WGS84", "map info = {unknown, 1, 1, 0, 2, 1, 1}", false},
        {"EPSG:3857", "map info = {WGS 84 / Pseudo-Mercator, 1, 1, 0, 2, 1, 1}", true},
        {"nope", nullptr, false},        // PROJ's nearest name would be a moon's
        {"EPSG:99999", nullptr, false},  // no such code
        {"EPSG:4979", nullptr, false},   // three-dimensional
        {"EPSG:5773", nullptr, false},   // heights only
        {R"(GEOGCS["a}",DATUM["b",SPHEROID["c",6378388,297]],PRIMEM["Greenwich",0],)"
         R"(UNIT["degree",0.0174532925199433]])",
         nullptr, false},
    };
    const std::int32_t cells[] = {1, 2};
    for (const auto& [system, mapInfo, geoTiffMade] : cases) {
        SCOPED_TRACE(system);
        setenv("MDGRIDIO_SRS", system.c_str(), 1);
        for (const char* name : {"g", "g.tif"}) {
            const int channel = Create(name, 1, {0, 0, 1, 2});
            const bool made = name == std::string("g") ? mapInfo != nullptr : geoTiffMade;
            EXPECT_EQ(channel >= 0, made) << name;
            if (made) {
                EXPECT_EQ(PutWindowRow(channel, 0, cells) + PutWindowRow(channel, 1, cells + 1), 0);
                EXPECT_EQ(CellLyrClose(channel), 0);
            }
        }
        if (mapInfo != nullptr) {
            const std::string header = ReadFile("g/cells.hdr");
            EXPECT_NE(header.find(std::string("\n") + mapInfo + "\n"), std::string::npos) << header;
            EXPECT_EQ(header.find("\ncoordinate system string = {") != std::string::npos, !system.empty());
            EXPECT_EQ(CellLyrDelete("g"), 0);
        }
        if (geoTiffMade) {
            EXPECT_EQ(CellLyrDelete("g.tif"), 0);
        }
        EXPECT_TRUE(FolderListing(".").empty());
    }
    unsetenv("MDGRIDIO_SRS");
}
#endif

#if defined(CELLPORT_SRS) && defined(CELLPORT_GEOTIFF)
// A system without an EPSG code is stated key by key: GDAL reads back the
// system it was given, whatever its datum, ellipsoid, prime meridian, unit,
// datum shift and projection.
TEST_F(GridLibrary, GeoTiffKeysStateASystemWithoutACode) {
    const std::vector<std::string> systems = {
        "+proj=longlat +ellps=intl +pm=2.5",
        "+proj=tmerc +lat_0=1 +lon_0=15 +k=0.9996 +x_0=500000 +y_0=7 +ellps=intl",
        "+proj=tmerc +lat_0=0 +lon_0=9 +k=1 +x_0=3500000 +ellps=bessel +units=us-ft",
        "+proj=utm +zone=33 +ellps=intl +towgs84=-87,-98,-121,0,0,0,0",
        "+proj=merc +lon_0=10 +k=0.9 +x_0=1 +y_0=2 +ellps=bessel",
        "+proj=merc +lat_ts=30 +lon_0=10 +ellps=bessel",
        "+proj=lcc +lat_1=49 +lat_2=44 +lat_0=46.5 +lon_0=3 +x_0=700000 +y_0=6600000 +ellps=GRS80",
        "+proj=lcc +lat_0=46.8 +lat_1=46.8 +lon_0=2.3 +k_0=0.9998 +x_0=6e5 +y_0=2e5 +a=6378249.2 +b=6356515 +pm=paris",
        "+proj=laea +lat_0=52 +lon_0=10 +x_0=4321000 +y_0=3210000 +ellps=GRS80",
        "+proj=aea +lat_1=29.5 +lat_2=45.5 +lat_0=23 +lon_0=-96 +x_0=10 +y_0=20 +ellps=clrk66",
        "+proj=stere +lat_0=-90 +lon_0=5 +k=0.97 +x_0=3 +y_0=4 +ellps=intl",
        "+proj=stere +lat_0=-90 +lat_ts=-71 +lon_0=0 +x_0=5 +ellps=intl",
        "+proj=sterea +lat_0=52.1 +lon_0=5.3 +k=0.9999 +x_0=155000 +y_0=463000 +ellps=bessel",
        "+proj=cass +lat_0=10 +lon_0=20 +x_0=5 +y_0=6 +ellps=clrk80",
        "+proj=poly +lat_0=10 +lon_0=20 +ellps=clrk66",
        "+proj=ortho +lat_0=40 +lon_0=-100 +R=6370997",
        "+proj=aeqd +lat_0=40 +lon_0=-100 +ellps=intl",
        "+proj=eqc +lat_ts=30 +lat_0=5 +lon_0=10 +ellps=intl",
        "+proj=mill +lon_0=4 +ellps=intl",
        "+proj=sinu +lon_0=7 +R=6371007.181",
        "+proj=robin +lon_0=10 +ellps=intl",
        "+proj=vandg +lon_0=3 +ellps=intl",
    };
    std::vector<std::string> arguments = {"/usr/bin/python3", "-c",
        "import re, sys\nfrom osgeo import gdal, osr\ngdal.UseExceptions()\n"
        "def text(srs): return re.sub(r'(?<=[=,])-?[0-9.]+(e[-+]?[0-9]+)?', lambda n: '%.9g' % float(n.group()), srs.ExportToProj4())\n"
        "for grid, given in zip(sys.argv[1::2], sys.argv[2::2]):\n"
        "  want = osr.SpatialReference(); want.SetFromUserInput(given)\n"
        "  got = osr.SpatialReference(wkt=gdal.Open(grid).GetProjection())\n"
        "  if text(got) != text(want): print(grid, text(got), '!=', text(want))\n"};
    const std::int32_t cells[] = {1, 2};
    for (std::size_t index = 0; index < systems.size(); ++index) {
        setenv("MDGRIDIO_SRS", systems[index].c_str(), 1);
        const std::string name = std::to_string(index) + ".tif";
        const int channel = Create(name.c_str(), 1, {0, 0, 1, 2});
        EXPECT_GE(channel, 0) << systems[index];
        EXPECT_EQ(PutWindowRow(channel, 0, cells) + PutWindowRow(channel, 1, cells + 1) + CellLyrClose(channel), 0);
        arguments.insert(arguments.end(), {name, systems[index]});
    }
    unsetenv("MDGRIDIO_SRS");
    const ProcessResult read = RunProcess(arguments, {}, scratch.Path());
    EXPECT_EQ(read.standardOutput + read.standardError, "");
}
#endif

// Only grids made here, whose folder is still the one made, go.
TEST_F(GridLibrary, DeletesOnlyItsOwnGrids) {
    for (const char* name : {"finished", "with a file of someone else's", "made again"}) {
        const int channel = Create(name, 1, {0, 0, 1, 1});
        const std::int32_t cell = 3;
        PutWindowRow(channel, 0, &cell);
        CellLyrClose(channel);
    }
    Create("open", 2, {0, 0, 1, 1});
    WriteFile("with a file of someone else's/notes.txt", "mine");
    EXPECT_EQ(CellLyrDelete("finished"), 0);
    EXPECT_EQ(CellLyrDelete("open"), 0);
    EXPECT_LT(CellLyrDelete("with a file of someone else's"), 0);
    std::vector<std::string> left = {"with a file of someone else's", "with a file of someone else's/notes.txt"};
#ifndef _WIN32  // a folder held open keeps its name on Windows
    fs::remove_all("made again");
    fs::create_directory("made again");
    EXPECT_LT(CellLyrDelete("made again"), 0);
    left.insert(left.begin(), "made again");
#else
    EXPECT_EQ(CellLyrDelete("made again"), 0);
#endif
    EXPECT_EQ(FolderListing("."), left);
}

#ifdef CELLPORT_GEOTIFF
// Grids named *.tif: one GeoTIFF file, whose cells GDAL reads back here as
// raw cells. A file under the name is whole, or the empty placeholder of a
// grid still being written.
std::string GeoTiffCells(const std::string& name) {
    RunProcess({"gdal_translate", "-q", "-of", "ENVI", name, "read.raw"}, {}, fs::current_path());
    const std::string cells = ReadFile("read.raw");
    for (const char* file : {"read.raw", "read.hdr", "read.raw.aux.xml"}) fs::remove(file);
    return cells;
}

// As in the folder; the last case goes back to a row of tiles it left (598
// after 599, 0 and 300), which must be read back, not begun afresh. Each
// also cloud-optimized, whose overviews then come from the file, even when
// every row came once.
TEST_F(GridLibrary, GeoTiffRowsInAnyOrderHoldTheirLastCellsAndNoDataWhereSkipped) {
    const struct {
        const char* name;
        int cellType, columns, rows;
        std::vector<std::pair<int, std::uint32_t>> writes;
    } cases[] = {{"g.tif", 1, 3, 5, {{2, 7}, {0, 0x80000000u}, {4, 0x7fffffffu}, {2, 9}}},
                 {"g.TIFF", 2, 2, 4, {{3, 0x3fc00000u}, {1, 0xc0100000u}}},
                 {"g.Tif", 1, 700, 600, {{599, 5}, {0, 6}, {300, 8}, {256, 9}, {598, 4}}},
                 {"g.tif", 1, 257, 2, {{1, 5}, {0, 6}}}};
    for (const char* kind : {"", "cog"})
    for (const auto& [name, cellType, columns, rows, writes] : cases) {
        SCOPED_TRACE(kind);
        setenv("MDGRIDIO_GEOTIFF", kind, 1);
        Cells expected(std::size_t(columns) * rows, cellType == 2 ? 0xff7fffffu : 0x80000001u);
        const int channel = Create(name, cellType, {10, 20, 10.0 + columns, 20.0 + rows});
        ASSERT_GE(channel, 0);
        EXPECT_EQ(FolderListing("."), (std::vector<std::string>{name, name + std::string(".partial")}));
        EXPECT_EQ(fs::file_size(name), 0u);
        for (const auto& [row, bits] : writes) {
            const Cells cells(std::size_t(columns), bits);
            EXPECT_EQ(PutWindowRow(channel, row, cells.data()), 0);
            std::copy(cells.begin(), cells.end(), expected.begin() + std::ptrdiff_t{row} * columns);
        }
        for (const int badRow : {-1, rows}) EXPECT_LT(PutWindowRow(channel, badRow, expected.data()), 0);
        EXPECT_LT(PutWindowRow(channel, 0, nullptr), 0);
        EXPECT_EQ(CellLyrClose(channel), 0);
        EXPECT_LT(CellLyrClose(channel), 0);
        EXPECT_EQ(FolderListing("."), std::vector<std::string>{name});
        const std::string bytes = GeoTiffCells(name);
        EXPECT_TRUE(bytes.size() == 4 * expected.size() && !std::memcmp(bytes.data(), expected.data(), bytes.size()))
            << name;
        if (*kind != '\0') {
            const ProcessResult cog =
                RunProcess({"/usr/bin/python3", CELLPORT_SOURCE_DIR "/tests/support/check_cog.py", name}, {}, ".");
            EXPECT_EQ(cog.exitStatus, 0) << cog.standardError;
        }
        EXPECT_EQ(CellLyrDelete(name), 0);
        EXPECT_TRUE(FolderListing(".").empty());
    }
    unsetenv("MDGRIDIO_GEOTIFF");
}

// Giving up part way (closing without the last row, a failed write, a
// delete of the open grid, or exiting with it open) leaves neither file;
// exiting finishes an open grid that is whole.
TEST_F(GridLibrary, AGeoTiffGridGivenUpLeavesNothing) {
    const Cells row(30000, 7);
    const int abandoned = Create("abandoned.tif", 1, {0, 0, 30000, 30000});
    EXPECT_EQ(PutWindowRow(abandoned, 0, row.data()), 0);
    EXPECT_LT(CellLyrClose(abandoned), 0);
    EXPECT_TRUE(FolderListing(".").empty());
    EXPECT_LT(CellLyrDelete("abandoned.tif"), 0);
    PutWindowRow(Create("deleted.tif", 1, {0, 0, 30000, 1}), 0, row.data());
    EXPECT_EQ(CellLyrDelete("deleted.tif"), 0);
    PutWindowRow(Create("left open.tif", 1, {0, 0, 30000, 300}), 0, row.data());
    PutWindowRow(Create("whole.tif", 1, {0, 0, 30000, 1}), 0, row.data());
    GridIOExit();
    EXPECT_EQ(FolderListing("."), std::vector<std::string>{"whole.tif"});
    EXPECT_EQ(GeoTiffCells("whole.tif"), std::string(reinterpret_cast<const char*>(row.data()), row.size() * 4));

    // Noise, which no compression shrinks, past a file size limit: once a
    // write fails, the grid stays failed even when writes work again.
    Cells noise(1000);
    std::mt19937 random(1);
    const int failing = Create("failing.tif", 1, {0, 0, 1000, 2000});
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limit{300000, unlimited.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    int firstFailure = -1;
    for (int index = 0; index < 2000 && firstFailure < 0; ++index) {
        std::generate(noise.begin(), noise.end(), std::ref(random));
        if (PutWindowRow(failing, index, noise.data()) != 0) firstFailure = index;
    }
    setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_GT(firstFailure, 0);
    for (int index = firstFailure + 1; index < 2000; ++index) EXPECT_LT(PutWindowRow(failing, index, noise.data()), 0);
    EXPECT_LT(CellLyrClose(failing), 0);
    EXPECT_EQ(FolderListing("."), std::vector<std::string>{"whole.tif"});
}

// A setting out of its range refuses the grid rather than making it
// otherwise than asked; the edges of the ranges are taken.
TEST_F(GridLibrary, GeoTiffSettingsOutOfRangeRefuseTheGrid) {
    const std::int32_t cell = 5;
    for (const auto& [name, value, made] :
         {std::tuple("MDGRIDIO_ZSTD_LEVEL", "0", false), {"MDGRIDIO_ZSTD_LEVEL", "23", false},
          {"MDGRIDIO_ZSTD_LEVEL", "3x", false}, {"MDGRIDIO_THREADS", "0", false}, {"MDGRIDIO_THREADS", "257", false},
          {"MDGRIDIO_ZSTD_LEVEL", "22", true}, {"MDGRIDIO_THREADS", "256", true}}) {
        setenv(name, value, 1);
        const int channel = Create("set.tif", 1, {0, 0, 1, 1});
        unsetenv(name);
        EXPECT_EQ(channel >= 0, made) << name << "=" << value;
        if (channel >= 0) {
            EXPECT_EQ(PutWindowRow(channel, 0, &cell), 0);
            EXPECT_EQ(CellLyrClose(channel), 0);
        }
        EXPECT_EQ(FolderListing("."), made ? std::vector<std::string>{"set.tif"} : std::vector<std::string>{});
        if (made) fs::remove("set.tif");
    }
}

// Where each tile of a little-endian classic TIFF begins.
std::vector<std::uint32_t> TileOffsets(const std::string& name) {
    const std::string file = ReadFile(name);
    const auto at = [&](std::size_t offset, std::size_t size) {
        std::uint32_t value = 0;
        if (offset + size <= file.size()) std::memcpy(&value, file.data() + offset, size);
        return value;
    };
    const std::uint32_t directory = at(4, 4);
    for (std::uint32_t entry = 0; entry < at(directory, 2); ++entry) {
        const std::size_t field = directory + 2 + 12 * std::size_t{entry};
        if (at(field, 2) != 324) continue;  // tile offsets, 32-bit
        const std::uint32_t count = at(field + 4, 4);
        const std::size_t values = count == 1 ? field + 8 : at(field + 8, 4);
        std::vector<std::uint32_t> offsets;
        for (std::uint32_t tile = 0; tile < count; ++tile) offsets.push_back(at(values + 4 * tile, 4));
        return offsets;
    }
    return {};
}

// With more workers than cores and tiles that take very different times
// (noise at a slow level beside constant cells), tiles finish out of order;
// they are stored in order all the same, each in its place.
TEST_F(GridLibrary, GeoTiffTilesFinishedOutOfOrderAreStoredInOrder) {
    setenv("MDGRIDIO_THREADS", "4", 1);
    setenv("MDGRIDIO_ZSTD_LEVEL", "19", 1);
    const int columns = 1024, rows = 300;
    Cells expected(std::size_t(columns) * rows);
    std::mt19937 random(2);
    const int channel = Create("order.tif", 1, {0, 0, columns, rows});
    for (int row = 0; row < rows; ++row) {
        const auto cells = expected.begin() + std::ptrdiff_t{row} * columns;
        std::generate(cells, cells + 256, std::ref(random));
        std::fill(cells + 256, cells + columns, std::uint32_t(row));
        EXPECT_EQ(PutWindowRow(channel, row, &*cells), 0);
    }
    EXPECT_EQ(CellLyrClose(channel), 0);
    unsetenv("MDGRIDIO_THREADS");
    unsetenv("MDGRIDIO_ZSTD_LEVEL");
    const std::string bytes = GeoTiffCells("order.tif");
    EXPECT_TRUE(bytes.size() == 4 * expected.size() && !std::memcmp(bytes.data(), expected.data(), bytes.size()));
    const std::vector<std::uint32_t> offsets = TileOffsets("order.tif");
    EXPECT_EQ(offsets.size(), 8u);
    EXPECT_TRUE(std::is_sorted(offsets.begin(), offsets.end()));
    EXPECT_EQ(CellLyrDelete("order.tif"), 0);
}

// A tile that cannot be written fails the grid, whichever tile it is: here
// a limit lets one tile of noise through, so a grid of one tile is made,
// and grids of two and three tiles fail at their last and middle tiles
// when they are closed.
TEST_F(GridLibrary, AGeoTiffTileThatCannotBeWrittenFailsTheGrid) {
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limit{300000, unlimited.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    std::mt19937 random(3);
    for (const int tiles : {1, 2, 3}) {
        Cells noise(std::size_t(tiles) * 256);
        const int channel = Create("limited.tif", 1, {0, 0, double(noise.size()), 256});
        setrlimit(RLIMIT_FSIZE, &limit);
        for (int row = 0; row < 256; ++row) {
            std::generate(noise.begin(), noise.end(), std::ref(random));
            EXPECT_EQ(PutWindowRow(channel, row, noise.data()), 0);
        }
        const int closed = CellLyrClose(channel);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(closed == 0, tiles == 1) << tiles;
        EXPECT_EQ(FolderListing("."), tiles == 1 ? std::vector<std::string>{"limited.tif"} : std::vector<std::string>{});
        if (closed == 0) {
            EXPECT_EQ(CellLyrDelete("limited.tif"), 0);
        }
    }
}

// At the same level, the file is the size that GDAL's writer makes of the
// same cells with the same options, within a hair, for both predictors.
TEST_F(GridLibrary, GeoTiffFilesAreTheSizeOfGdalsWithTheSameOptions) {
    setenv("MDGRIDIO_ZSTD_LEVEL", "9", 1);
    const int columns = 700, rows = 600;
    for (const auto& [cellType, predictor] : {std::pair(1, "2"), {2, "3"}}) {
        Cells cells(static_cast<std::size_t>(columns));
        for (const char* name : {"sized.tif", "sized"}) {
            const int channel = Create(name, cellType, {0, 0, columns, rows});
            for (int row = 0; row < rows; ++row) {
                // Patches of a few classes, or a smooth surface of floats.
                for (int column = 0; column < columns; ++column) {
                    const int patch = (row / 40 * 7 + (column + row % 5) / 50 * 3) % 11;
                    const float surface = float(row) * 0.25f + float(column % 97) * 1.5f;
                    cells[std::size_t(column)] = cellType == 1 ? std::uint32_t(patch) : std::bit_cast<std::uint32_t>(surface);
                }
                PutWindowRow(channel, row, cells.data());
            }
            EXPECT_EQ(CellLyrClose(channel), 0);
        }
        RunProcess({"gdal_translate", "-q", "-co", "TILED=YES", "-co", "COMPRESS=ZSTD", "-co", "ZSTD_LEVEL=9",
                    "-co", std::string("PREDICTOR=") + predictor, "sized/cells.raw", "theirs.tif"},
                   {}, fs::current_path());
        const double ratio = double(fs::file_size("sized.tif")) / double(fs::file_size("theirs.tif"));
        EXPECT_NEAR(ratio, 1.0, 0.02) << fs::file_size("sized.tif") << " against " << fs::file_size("theirs.tif");
        for (const char* name : {"sized.tif", "sized"}) EXPECT_EQ(CellLyrDelete(name), 0);
        fs::remove("theirs.tif");
    }
    unsetenv("MDGRIDIO_ZSTD_LEVEL");
}

// Names taken by anyone else, the grid's own or its temporary's, are left
// as they were; so is a file put in the place of a grid's own placeholder
// or finished file.
TEST_F(GridLibrary, GeoTiffGridsNeverTouchFilesOfSomeoneElse) {
    WriteFile("taken.tif", "mine");
    WriteFile("temporary.tif.partial", "mine too");
    Box unit{0, 0, 1, 1};
    for (const char* name : {"taken.tif", "temporary.tif"}) {
        EXPECT_LT(CellLayerCreate(name, 3, 1, 1, 1, unit.data()), 0) << name;
        EXPECT_LT(CellLyrDelete(name), 0);
    }
    EXPECT_NE(CellLyrExists("taken.tif"), 0);
    const std::int32_t cell = 3;
    const int replaced = Create("replaced.tif", 1, {0, 0, 1, 1});
    PutWindowRow(replaced, 0, &cell);
    fs::remove("replaced.tif");
    WriteFile("replaced.tif", "theirs");
    EXPECT_LT(CellLyrClose(replaced), 0);
    const int finished = Create("finished.tif", 1, {0, 0, 1, 1});
    PutWindowRow(finished, 0, &cell);
    EXPECT_EQ(CellLyrClose(finished), 0);
    fs::remove("finished.tif");
    WriteFile("finished.tif", "theirs");
    EXPECT_LT(CellLyrDelete("finished.tif"), 0);
    EXPECT_EQ(FolderListing("."), (std::vector<std::string>{"finished.tif", "replaced.tif", "taken.tif",
                                                           "temporary.tif.partial"}));
    for (const auto& [name, text] : {std::pair("taken.tif", "mine"), {"temporary.tif.partial", "mine too"},
                                     {"replaced.tif", "theirs"}, {"finished.tif", "theirs"}})
        EXPECT_EQ(ReadFile(name), text) << name;
}
#endif

}  // namespace
