// How a GeoTIFF grid is compressed: the ZSTD level and the number of
// compressing workers, each overridable from the environment.
#pragma once

#include <optional>

namespace mdgridio {

struct WriterSettings {
    int level = 0;
    int workers = 0;
    bool cloudOptimized = false;  // with overviews, laid out for reading in parts
};

// Empty when MDGRIDIO_ZSTD_LEVEL (1 to 22), MDGRIDIO_THREADS (1 to 256) or
// MDGRIDIO_GEOTIFF ("cog") is set to anything else: a grid is better
// refused than made otherwise than asked.
std::optional<WriterSettings> ReadWriterSettings();

// Cores this process may use: its affinity, under its cgroup's quota; at least 1.
int UsableCores();

}  // namespace mdgridio
