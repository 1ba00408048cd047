#include "grid/grid_output.h"

#include <limits>

int CellTypeFor(DataType dataType) { return dataType == DataType::Real ? 2 : 1; }

ExtentBox ExtentBoxOf(const ImageHeader& header) {
    return {header.minX, header.minY, header.maxX, header.maxY};
}

bool WindowMatchesImage(const GridLibrary& library, const ImageHeader& header) {
    const int windowColumns = library.WindowCols();
    const int windowRows = library.WindowRows();
    return windowRows == header.rows && windowColumns == header.columns;
}

float FetchMissingFloat(const GridLibrary& library) {
    float missing = std::numeric_limits<float>::lowest();
    library.GetMissingFloat(&missing);
    return missing;
}

void CleanUpGrid(const GridLibrary& library, int channel, const char* gridName) {
    library.CellLyrClose(channel);
    library.CellLyrDelete(gridName);
}
