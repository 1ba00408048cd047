// Workers that cut bands into tiles, apply the predictor and compress each
// tile with a ZSTD context of their own; whichever finishes the next tile in
// order writes it, so the file's tiles follow the order they were sent in.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "mdgridio/geotiff/tile_band.h"

namespace mdgridio {

// A tile's compressed bytes, in room that is not cleared first: ZSTD writes
// over it, and clearing the bound for every tile cost 15% of a run.
class CompressedBytes {
public:
    void MakeRoom(std::size_t room) {
        bytes = std::make_unique_for_overwrite<unsigned char[]>(room);
        used = 0;
    }
    void Keep(std::size_t count) { used = count; }
    unsigned char* data() const { return bytes.get(); }
    std::size_t size() const { return used; }

private:
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t used = 0;
};

struct FinishedTile {
    std::uint32_t index = 0;
    // Tiles written before are passed on as cells, for libtiff to place again.
    bool rewrite = false;
    std::vector<std::uint32_t> cells;     // a rewrite's
    CompressedBytes compressed;
};

// Called for each tile in order, one call at a time; false fails the grid.
using TileWriter = std::function<bool(FinishedTile&)>;

class TileCompressors {
public:
    // No workers: tiles are compressed on the caller's thread as they are sent.
    TileCompressors(int workers, CellType cellType, int level, TileWriter write);
    // Stops the workers, dropping what they have not done.
    ~TileCompressors();
    TileCompressors(const TileCompressors&) = delete;
    TileCompressors& operator=(const TileCompressors&) = delete;

    // Queues the band's tiles; `rewrite` for a band written before.
    // The band must stay untouched until Release(band) returns.
    bool Send(const TileBand& band, std::int32_t tilesAcross, bool rewrite);
    // Waits until every tile of the band has been written; false on failure.
    bool Release(const TileBand& band);
    // Waits until everything sent is written; false on failure.
    bool Drain();
    bool Failed();

private:
    struct Job {
        const TileBand* band;
        std::int32_t column;
        std::uint32_t tile;
        bool rewrite;
        std::uint64_t order;
    };
    struct Workspace;
    void Work();
    void RunJob(std::unique_lock<std::mutex>& lock, Workspace& workspace);
    bool Compress(const Job& job, void* context, std::vector<std::uint32_t>& cells, FinishedTile& done);
    void WriteInOrder(std::unique_lock<std::mutex>& lock);

    CellType cellType;
    int level;
    TileWriter write;
    std::mutex mutex;
    std::condition_variable jobsWaiting;
    std::condition_variable progress;
    std::deque<Job> jobs;
    struct Done {
        const TileBand* band;
        FinishedTile tile;
    };
    std::map<std::uint64_t, Done> done;  // by order, waiting for the ones before
    std::map<const TileBand*, std::int64_t> unwritten;
    std::uint64_t sent = 0;
    std::uint64_t written = 0;
    bool writing = false;
    bool failed = false;
    bool stopping = false;
    std::vector<std::thread> threads;
    std::unique_ptr<Workspace> inlineWorkspace;
};

}  // namespace mdgridio
