#include "mdgridio/geotiff/tile_compressors.h"


#include <csignal>
#include <optional>

#include "mdgridio/geotiff/tile_predictor.h"
#include "mdgridio/geotiff/tile_zstd.h"

namespace mdgridio {

namespace {

// Signals are the run's: a worker that took an interruption would leave
// the run's own read waiting.
class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t previous;
};

}  // namespace

TileCompressors::TileCompressors(int workers, CellType cellType, int level, TileWriter write)
    : cellType(cellType), level(level), write(std::move(write)) {
    if (workers == 0) {
        inlineWorkspace = std::make_unique<Workspace>(level);
        return;
    }
    const SignalsBlocked blocked;
    try {
        for (int worker = 0; worker < workers; ++worker) threads.emplace_back([this] { Work(); });
    } catch (...) {
        if (threads.empty()) throw;  // fewer workers than asked still do the job
    }
}

TileCompressors::~TileCompressors() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    jobsWaiting.notify_all();
    for (std::thread& thread : threads) thread.join();
}

bool TileCompressors::Send(const TileBand& band, std::int32_t tilesAcross, bool rewrite) {
    {
        const std::lock_guard lock(mutex);
        if (failed) return false;
        for (std::int32_t column = 0; column < tilesAcross; ++column) {
            const auto tile = std::uint32_t(std::int64_t{band.Index()} * tilesAcross + column);
            jobs.push_back(Job{&band, column, tile, rewrite, sent++});
        }
        unwritten[&band] += tilesAcross;
    }
    if (inlineWorkspace) {
        std::unique_lock lock(mutex);
        while (!jobs.empty() && !failed) RunJob(lock, *inlineWorkspace);
        return !failed;
    }
    jobsWaiting.notify_all();
    return true;
}

bool TileCompressors::Release(const TileBand& band) {
    std::unique_lock lock(mutex);
    progress.wait(lock, [&] { return failed || unwritten[&band] == 0; });
    return !failed;
}

bool TileCompressors::Drain() {
    std::unique_lock lock(mutex);
    progress.wait(lock, [&] { return failed || written == sent; });
    return !failed;
}

bool TileCompressors::Failed() {
    const std::lock_guard lock(mutex);
    return failed;
}

bool TileCompressors::Compress(const Job& job, void* context, std::vector<std::uint32_t>& cells,
                               FinishedTile& finished) {
    finished.index = job.tile;
    finished.rewrite = job.rewrite;
    job.band->CopyTile(job.column, cells.data());
    if (job.rewrite) {
        finished.cells = cells;
        return true;
    }
    ApplyPredictor(cellType, cells.data());
    const std::size_t bytes = cells.size() * sizeof cells[0];
    const std::size_t room = ZSTD_compressBound(bytes);
    finished.compressed.MakeRoom(room);
    const std::size_t size =
        CompressTile(static_cast<ZSTD_CCtx*>(context), finished.compressed.data(), room, cells.data(), bytes);
    if (ZSTD_isError(size)) return false;
    finished.compressed.Keep(size);
    return true;
}

// A worker's own: its ZSTD context, reused tile after tile, and a tile's cells.
struct TileCompressors::Workspace {
    TileZstdContext context;
    std::vector<std::uint32_t> cells = std::vector<std::uint32_t>(tileCells);
    bool ready;
    explicit Workspace(int level) : context(MakeTileZstdContext(level)), ready(context != nullptr) {}
};

void TileCompressors::Work() {
    std::optional<Workspace> workspace;
    try {
        workspace.emplace(level);
    } catch (...) {
    }
    std::unique_lock lock(mutex);
    for (;;) {
        jobsWaiting.wait(lock, [&] { return stopping || (!jobs.empty() && !failed); });
        if (stopping) return;
        if (!workspace) {
            failed = true;
            progress.notify_all();
            continue;
        }
        RunJob(lock, *workspace);
    }
}

// Takes the next job, compresses it unlocked, then writes what is due.
void TileCompressors::RunJob(std::unique_lock<std::mutex>& lock, Workspace& workspace) {
    const Job job = jobs.front();
    jobs.pop_front();
    lock.unlock();
    FinishedTile finished;
    bool compressed = false;
    try {
        compressed = workspace.ready && Compress(job, workspace.context.get(), workspace.cells, finished);
    } catch (...) {
    }
    lock.lock();
    try {
        if (compressed) done.emplace(job.order, Done{job.band, std::move(finished)});
    } catch (...) {
        compressed = false;
    }
    if (!compressed) {
        failed = true;
        progress.notify_all();
        return;
    }
    WriteInOrder(lock);
}

// One writer at a time, taking every tile whose turn has come.
void TileCompressors::WriteInOrder(std::unique_lock<std::mutex>& lock) {
    if (writing) return;
    writing = true;
    for (auto next = done.find(written); next != done.end() && !failed && !stopping; next = done.find(written)) {
        FinishedTile tile = std::move(next->second.tile);
        const TileBand* band = next->second.band;
        done.erase(next);
        lock.unlock();
        bool ok = false;
        try {
            ok = write(tile);
        } catch (...) {
        }
        lock.lock();
        if (!ok) failed = true;
        ++written;
        --unwritten[band];
    }
    writing = false;
    progress.notify_all();
}

}  // namespace mdgridio
