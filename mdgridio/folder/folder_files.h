// The files of a folder grid: the cells, and the header, which is written
// last under a temporary name and so marks a finished grid.
#pragma once

namespace mdgridio {

inline constexpr char cellFileName[] = "cells.raw";
inline constexpr char headerName[] = "cells.hdr";
inline constexpr char unfinishedHeaderName[] = "cells.hdr.partial";

}  // namespace mdgridio
