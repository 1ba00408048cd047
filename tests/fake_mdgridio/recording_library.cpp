// A stand-in grid library for tests: it appends every call with its
// arguments to the file named by FAKE_GRID_LOG and answers as the FAKE_*
// variables say. Pointers are written as labels (@A, @B, ...) in the order
// they are first seen, so that a log reads the same on every run and shows
// which calls shared storage. Built once per variant, each but the first
// leaving out one function (WITHOUT_<name>).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mdgridio/mdgridio.h"

namespace {

int cellType = 1;
int windowColumns = 0;
int windowRows = 0;

int Setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

std::string Label(const void* pointer) {
    static std::vector<const void*> seen;
    std::size_t index = 0;
    while (index < seen.size() && seen[index] != pointer) ++index;
    if (index == seen.size()) seen.push_back(pointer);
    return std::string("@") + static_cast<char>('A' + index % 26);
}

// Not std::to_string: its shared tables would keep the library loaded.
template <typename Value>
std::string Format(const char* format, Value value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Box(const double* box) {
    std::string text = "[";
    for (int corner = 0; corner < 4; ++corner) text.append(Format(corner < 3 ? "%.17g " : "%.17g]", box[corner]));
    return text.append(Label(box));
}

// Float cells in enough digits to give back the same float; NaNs with
// their bits, which carry the payload.
std::string Cell(std::uint32_t bits) {
    if (cellType == 1) return Format("%d", static_cast<std::int32_t>(bits));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return std::isnan(value) ? Format("nan:%08x", bits) : Format("%.9g", value);
}

std::string Cells(const void* cells) {
    std::string text;
    for (int column = 0; column < windowColumns; ++column) {
        std::uint32_t bits;
        std::memcpy(&bits, static_cast<const char*>(cells) + 4 * column, 4);
        text.append(" ").append(Cell(bits));
    }
    return text;
}

void Record(const std::string& line) {
    const char* path = std::getenv("FAKE_GRID_LOG");
    // Binary, so that Windows writes LF line ends too.
    if (std::FILE* log = path ? std::fopen(path, "ab") : nullptr) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

std::string Quoted(const char* name) { return " \"" + std::string(name) + "\""; }

}  // namespace

extern "C" {

#ifndef WITHOUT_GridIOSetup
MDGRIDIO_EXPORT int GridIOSetup(void) { return Record("GridIOSetup"), 0; }
#endif

#ifndef WITHOUT_GridIOExit
MDGRIDIO_EXPORT int GridIOExit(void) { return Record("GridIOExit"), 0; }
#endif

#ifndef WITHOUT_GetMissingFloat
MDGRIDIO_EXPORT int GetMissingFloat(float* missing) {
    Record("GetMissingFloat " + Label(missing));
    *missing = -9999.0f;
    return 0;
}
#endif

#ifndef WITHOUT_CellLyrExists
MDGRIDIO_EXPORT int CellLyrExists(const char* name) {
    Record("CellLyrExists" + Quoted(name));
    return Setting("FAKE_EXISTS", 0);
}
#endif

MDGRIDIO_EXPORT int CellLayerCreate(const char* name, int mode, int access, int type,
                                    double cellSize, double* box) {
    cellType = type;
    Record("CellLayerCreate" + Quoted(name) + Format(" %d", mode) + Format(" %d", access) +
           Format(" %d", type) + Format(" %.17g ", cellSize) + Box(box));
    return Setting("FAKE_CREATE", 0);
}

MDGRIDIO_EXPORT int AccessWindowSet(double* box, double cellSize, double* outBox) {
    Record("AccessWindowSet " + Box(box) + Format(" %.17g ", cellSize) + Label(outBox));
    windowColumns = Setting("FAKE_WINDOW_COLS", static_cast<int>(std::lround((box[2] - box[0]) / cellSize)));
    windowRows = Setting("FAKE_WINDOW_ROWS", static_cast<int>(std::lround((box[3] - box[1]) / cellSize)));
    std::memcpy(outBox, box, 4 * sizeof *box);
    return Setting("FAKE_WINDOW_SET", 0);
}

#ifndef WITHOUT_WindowRows
MDGRIDIO_EXPORT int WindowRows(void) { return Record("WindowRows"), windowRows; }
#endif

MDGRIDIO_EXPORT int WindowCols(void) { return Record("WindowCols"), windowColumns; }

MDGRIDIO_EXPORT int PutWindowRow(int channel, int row, const void* cells) {
    Record("PutWindowRow" + Format(" %d", channel) + Format(" %d ", row) + Label(cells) + Cells(cells));
    return row == Setting("FAKE_PUT_FAILS_AT_ROW", -1) ? -1 : 0;
}

MDGRIDIO_EXPORT int CellLyrClose(int channel) {
    Record("CellLyrClose" + Format(" %d", channel));
    return channel < 0 ? -1 : Setting("FAKE_CLOSE", 0);
}

MDGRIDIO_EXPORT int CellLyrDelete(const char* name) { return Record("CellLyrDelete" + Quoted(name)), 0; }

}  // extern "C"
