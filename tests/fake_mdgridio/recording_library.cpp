// A stand-in grid library for tests: it writes every call with its
// arguments to the file named by FAKE_GRID_LOG, and answers as the
// FAKE_* variables say. Pointers are written as labels (@A, @B, ...) in the
// order they are first seen, so that a log reads the same on every run and
// shows which calls shared storage. Built once per variant, each variant
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
    std::string label = "@";
    label += static_cast<char>('A' + index % 26);
    return label;
}

// Not std::to_string: its shared digit table would keep this library from
// ever being unloaded, and the tests check unloading.
std::string Integer(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Box(const double* box) {
    std::string text = "[";
    for (int corner = 0; corner < 4; ++corner) text += Number(box[corner]) + (corner < 3 ? " " : "]");
    return text + Label(box);
}

void Record(const std::string& line) {
    const char* path = std::getenv("FAKE_GRID_LOG");
    if (!path) return;
    // Binary, so that Windows writes LF line ends too.
    if (std::FILE* log = std::fopen(path, "ab")) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

int WindowSize(double low, double high, double cellSize) {
    return static_cast<int>(std::lround((high - low) / cellSize));
}

std::string Cells(const void* cells) {
    std::string text;
    for (int column = 0; column < windowColumns; ++column) {
        std::uint32_t bits;
        std::memcpy(&bits, static_cast<const char*>(cells) + 4 * column, 4);
        char cell[24];
        if (cellType == 1)
            std::snprintf(cell, sizeof cell, " %d", static_cast<std::int32_t>(bits));
        else
            std::snprintf(cell, sizeof cell, " %08x", bits);
        text += cell;
    }
    return text;
}

}  // namespace

extern "C" {

#ifndef WITHOUT_GridIOSetup
MDGRIDIO_EXPORT int GridIOSetup(void) {
    Record("GridIOSetup");
    return 0;
}
#endif

#ifndef WITHOUT_GridIOExit
MDGRIDIO_EXPORT int GridIOExit(void) {
    Record("GridIOExit");
    return 0;
}
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
    Record("CellLyrExists \"" + std::string(name) + "\"");
    return Setting("FAKE_EXISTS", 0);
}
#endif

#ifndef WITHOUT_CellLayerCreate
MDGRIDIO_EXPORT int CellLayerCreate(const char* name, int mode, int access, int type,
                                    double cellSize, double* box) {
    cellType = type;
    Record("CellLayerCreate \"" + std::string(name) + "\" " + Integer(mode) + " " +
           Integer(access) + " " + Integer(type) + " " + Number(cellSize) + " " +
           Box(box));
    return Setting("FAKE_CREATE", 0);
}
#endif

#ifndef WITHOUT_AccessWindowSet
MDGRIDIO_EXPORT int AccessWindowSet(double* box, double cellSize, double* outBox) {
    Record("AccessWindowSet " + Box(box) + " " + Number(cellSize) + " " + Label(outBox));
    windowColumns = Setting("FAKE_WINDOW_COLS", WindowSize(box[0], box[2], cellSize));
    windowRows = Setting("FAKE_WINDOW_ROWS", WindowSize(box[1], box[3], cellSize));
    for (int corner = 0; corner < 4; ++corner) outBox[corner] = box[corner];
    return Setting("FAKE_WINDOW_SET", 0);
}
#endif

#ifndef WITHOUT_WindowRows
MDGRIDIO_EXPORT int WindowRows(void) {
    Record("WindowRows");
    return windowRows;
}
#endif

#ifndef WITHOUT_WindowCols
MDGRIDIO_EXPORT int WindowCols(void) {
    Record("WindowCols");
    return windowColumns;
}
#endif

#ifndef WITHOUT_PutWindowRow
MDGRIDIO_EXPORT int PutWindowRow(int channel, int row, const void* cells) {
    Record("PutWindowRow " + Integer(channel) + " " + Integer(row) + " " +
           Label(cells) + Cells(cells));
    return row == Setting("FAKE_PUT_FAILS_AT_ROW", -1) ? -1 : 0;
}
#endif

#ifndef WITHOUT_CellLyrClose
MDGRIDIO_EXPORT int CellLyrClose(int channel) {
    Record("CellLyrClose " + Integer(channel));
    return channel < 0 ? -1 : Setting("FAKE_CLOSE", 0);
}
#endif

#ifndef WITHOUT_CellLyrDelete
MDGRIDIO_EXPORT int CellLyrDelete(const char* name) {
    Record("CellLyrDelete \"" + std::string(name) + "\"");
    return 0;
}
#endif

}  // extern "C"
