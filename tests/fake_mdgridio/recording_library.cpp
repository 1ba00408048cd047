// A stand-in grid library: it logs every call to the file FAKE_GRID_LOG
// names, pointers as labels (@A, @B, ...) that show shared storage, and
// answers as the FAKE_* variables say. Variants leave out WITHOUT_<name>.
#include <cmath>
#include <csignal>
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
    return {'@', static_cast<char>('A' + index % 26)};
}

// One line a call; binary, so that Windows writes LF line ends too. Not
// std::to_string: its shared tables would keep the library loaded.
template <typename... Values>
void Record(const char* format, Values... values) {
    const char* path = std::getenv("FAKE_GRID_LOG");
    if (std::FILE* log = path ? std::fopen(path, "ab") : nullptr) {
        std::fprintf(log, format, values...);
        std::fputc('\n', log);
        std::fclose(log);
    }
}

// Float cells in enough digits to give back the same float; NaNs by their
// bits, which carry the payload.
std::string Cells(const void* cells) {
    std::string text;
    for (int column = 0; column < windowColumns; ++column) {
        std::uint32_t bits;
        float value;
        std::memcpy(&bits, static_cast<const char*>(cells) + 4 * column, 4);
        std::memcpy(&value, &bits, 4);
        char cell[24];
        if (cellType == 1) std::snprintf(cell, sizeof cell, " %d", static_cast<std::int32_t>(bits));
        else if (std::isnan(value)) std::snprintf(cell, sizeof cell, " nan:%08x", bits);
        else std::snprintf(cell, sizeof cell, " %.9g", value);
        text += cell;
    }
    return text;
}

}  // namespace

extern "C" {

#ifndef WITHOUT_GridIOSetup
MDGRIDIO_EXPORT int GridIOSetup(void) { return Record("%s", "GridIOSetup"), 0; }
#endif

#ifndef WITHOUT_GridIOExit
MDGRIDIO_EXPORT int GridIOExit(void) { return Record("%s", "GridIOExit"), 0; }
#endif

#ifndef WITHOUT_GetMissingFloat
MDGRIDIO_EXPORT int GetMissingFloat(float* missing) {
    Record("GetMissingFloat %s", Label(missing).c_str());
    *missing = -9999.0f;
    return 0;
}
#endif

#ifndef WITHOUT_CellLyrExists
MDGRIDIO_EXPORT int CellLyrExists(const char* name) {
    Record("CellLyrExists \"%s\"", name);
    return Setting("FAKE_EXISTS", 0);
}
#endif

MDGRIDIO_EXPORT int CellLayerCreate(const char* name, int mode, int access, int type, double cellSize, double* box) {
    cellType = type;
    Record("CellLayerCreate \"%s\" %d %d %d %.17g [%.17g %.17g %.17g %.17g]%s", name, mode, access, type, cellSize,
           box[0], box[1], box[2], box[3], Label(box).c_str());
    return Setting("FAKE_CREATE", 0);
}

MDGRIDIO_EXPORT int AccessWindowSet(double* box, double cellSize, double* outBox) {
    Record("AccessWindowSet [%.17g %.17g %.17g %.17g]%s %.17g %s", box[0], box[1], box[2], box[3],
           Label(box).c_str(), cellSize, Label(outBox).c_str());
    windowColumns = Setting("FAKE_WINDOW_COLS", static_cast<int>(std::lround((box[2] - box[0]) / cellSize)));
    windowRows = Setting("FAKE_WINDOW_ROWS", static_cast<int>(std::lround((box[3] - box[1]) / cellSize)));
    std::memcpy(outBox, box, 4 * sizeof *box);
    return Setting("FAKE_WINDOW_SET", 0);
}

#ifndef WITHOUT_WindowRows
MDGRIDIO_EXPORT int WindowRows(void) { return Record("%s", "WindowRows"), windowRows; }
#endif

MDGRIDIO_EXPORT int WindowCols(void) { return Record("%s", "WindowCols"), windowColumns; }

MDGRIDIO_EXPORT int PutWindowRow(int channel, int row, const void* cells) {
    Record("PutWindowRow %d %d %s%s", channel, row, Label(cells).c_str(), Cells(cells).c_str());
    if (row == Setting("FAKE_INTERRUPT_AT_ROW", -1)) std::raise(SIGINT);
    return row == Setting("FAKE_PUT_FAILS_AT_ROW", -1) ? -1 : 0;
}

MDGRIDIO_EXPORT int CellLyrClose(int channel) {
    Record("CellLyrClose %d", channel);
    return channel < 0 ? -1 : Setting("FAKE_CLOSE", 0);
}

MDGRIDIO_EXPORT int CellLyrDelete(const char* name) { return Record("CellLyrDelete \"%s\"", name), 0; }

}  // extern "C"
