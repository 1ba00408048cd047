// A ZSTD context for tiles, reused tile after tile.
#pragma once

#include <zstd.h>

#include <cstddef>
#include <memory>

namespace mdgridio {

struct ZstdContextFree {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
using TileZstdContext = std::unique_ptr<ZSTD_CCtx, ZstdContextFree>;

// Null when ZSTD cannot make one for the level.
TileZstdContext MakeTileZstdContext(int level);

// The tile compressed into `into` (at least ZSTD_compressBound(bytes)); a
// ZSTD error code on failure.
std::size_t CompressTile(ZSTD_CCtx* context, void* into, std::size_t room, const void* cells, std::size_t bytes);

}  // namespace mdgridio
