// For the compression parameters of a level.
#define ZSTD_STATIC_LINKING_ONLY
#include "mdgridio/geotiff/tile_zstd.h"

#include <utility>

namespace mdgridio {

// Told a tile's size, ZSTD sizes its tables to it but also searches as it
// would for small inputs, harder: at level 9, 22 to 26% more time for files
// under 1% smaller. The level's search for inputs of unknown size is what the
// previous writer's streaming got.
TileZstdContext MakeTileZstdContext(int level) {
    TileZstdContext context(ZSTD_createCCtx());
    if (!context || ZSTD_isError(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level))) return nullptr;
    const ZSTD_compressionParameters search = ZSTD_getCParams(level, 0, 0);
    for (const auto& [parameter, value] : {std::pair{ZSTD_c_searchLog, int(search.searchLog)},
                                           {ZSTD_c_minMatch, int(search.minMatch)},
                                           {ZSTD_c_targetLength, int(search.targetLength)},
                                           {ZSTD_c_strategy, int(search.strategy)}}) {
        if (ZSTD_isError(ZSTD_CCtx_setParameter(context.get(), parameter, value))) return nullptr;
    }
    return context;
}

std::size_t CompressTile(ZSTD_CCtx* context, void* into, std::size_t room, const void* cells, std::size_t bytes) {
    const std::size_t pledged = ZSTD_CCtx_setPledgedSrcSize(context, bytes);
    return ZSTD_isError(pledged) ? pledged : ZSTD_compress2(context, into, room, cells, bytes);
}

}  // namespace mdgridio
