#include "mdgridio/folder/folder_place.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "mdgridio/folder/folder_files.h"
#include "mdgridio/folder/grid_header_text.h"
#include "mdgridio/grid_lock.h"
#include "mdgridio/place_files.h"

namespace mdgridio {

namespace {

// Far more than any header this library writes.
constexpr std::size_t headerLimit = 4096;

struct Contents {
    bool header = false;
    bool cells = false;
    bool unfinishedHeader = false;
};

struct Listing {
    std::optional<Contents> contents;
    std::string why;  // when there is none
};

struct DirectoryCloser {
    void operator()(DIR* listing) const { closedir(listing); }
};

// Only the layout's own names, each a regular file, make a grid's contents.
Listing ListContents(int grid) {
    const int listingDescriptor = openat(grid, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listingDescriptor < 0) return {std::nullopt, std::string("cannot list it: ") + std::strerror(errno)};
    const std::unique_ptr<DIR, DirectoryCloser> listing(fdopendir(listingDescriptor));
    if (!listing) {
        close(listingDescriptor);
        return {std::nullopt, "cannot list it"};
    }
    Contents contents;
    errno = 0;
    while (const dirent* entry = readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool* seen = name == headerName             ? &contents.header
                     : name == cellFileName         ? &contents.cells
                     : name == unfinishedHeaderName ? &contents.unfinishedHeader
                                                    : nullptr;
        struct stat status {};
        if (seen != nullptr && !LookAt(grid, name, status) && errno == ENOENT) {
            // Gone while listed, as a header being finished: whatever
            // removes anything judges again under the lock.
            errno = 0;
            continue;
        }
        if (seen == nullptr || !S_ISREG(status.st_mode)) {
            return {std::nullopt, "it holds " + name + ", which no grid has"};
        }
        *seen = true;
    }
    if (errno != 0) return {std::nullopt, std::string("cannot list it: ") + std::strerror(errno)};
    return {contents, {}};
}

std::optional<std::string> ReadHeader(int grid) {
    const Descriptor file(openat(grid, headerName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.IsOpen()) return std::nullopt;
    std::string text(headerLimit + 1, '\0');
    std::size_t used = 0;
    while (used < text.size()) {
        const ssize_t got = read(file.Get(), text.data() + used, text.size() - used);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    if (used > headerLimit) return std::nullopt;
    text.resize(used);
    return text;
}

// Whole and ours: the library's own header, and exactly the cells it gives.
PlaceJudgement JudgeFinished(int grid, const std::string& leaf, const Contents& contents) {
    const auto text = ReadHeader(grid);
    const auto layout = text ? ParseGridHeader(*text) : std::nullopt;
    if (!layout) return InTheWay(leaf, std::string(headerName) + " is not a header this library wrote");
    struct stat cells {};
    if (!contents.cells || !LookAt(grid, cellFileName, cells)) {
        return InTheWay(leaf, std::string("a header without ") + cellFileName);
    }
    const std::int64_t expected = std::int64_t{layout->rows} * RowBytes(*layout);
    if (cells.st_size != expected) {
        return InTheWay(leaf, std::string(cellFileName) + " holds " + std::to_string(cells.st_size) +
                                  " bytes where its header gives " + std::to_string(expected));
    }
    if (contents.unfinishedHeader) return InTheWay(leaf, "a header being written beside a finished one");
    return Judged(PlaceState::Finished);
}

// Finished, InTheWay, or Leftover for what a run leaves (cells, a header
// being written, or nothing yet), without looking at the lock.
PlaceJudgement JudgeContents(int grid, const std::string& leaf) {
    const Listing listing = ListContents(grid);
    if (!listing.contents) return InTheWay(leaf, listing.why);
    if (listing.contents->header) return JudgeFinished(grid, leaf, *listing.contents);
    return Judged(PlaceState::Leftover);
}

struct OpenedGrid {
    Descriptor grid;
    std::optional<PlaceJudgement> judgement;  // when it cannot be opened
};

OpenedGrid OpenGridFolder(int folder, const std::string& leaf) {
    Descriptor grid(openat(folder, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (grid.IsOpen()) return {std::move(grid), std::nullopt};
    if (errno == ENOENT) return {Descriptor(), Judged(PlaceState::Free)};
    if (errno == ENOTDIR || errno == ELOOP) return {Descriptor(), InTheWay(leaf, "not a folder")};
    return {Descriptor(), InTheWay(leaf, std::string("cannot open it: ") + std::strerror(errno))};
}

}  // namespace

PlaceJudgement JudgeFolderGrid(int folder, const std::string& leaf) {
    const OpenedGrid opened = OpenGridFolder(folder, leaf);
    if (opened.judgement) return *opened.judgement;
    const PlaceJudgement judgement = JudgeContents(opened.grid.Get(), leaf);
    if (judgement.state != PlaceState::Leftover) return judgement;
    const LockResult lock = LockGrid(opened.grid.Get(), false);
    if (lock == LockResult::HeldElsewhere) return BeingWritten(leaf);
    if (lock == LockResult::Taken) UnlockGrid(opened.grid.Get());
    return judgement;
}

PlaceJudgement ClearFolderLeftover(int folder, const std::string& leaf) {
    const OpenedGrid opened = OpenGridFolder(folder, leaf);
    if (opened.judgement) return *opened.judgement;
    const int grid = opened.grid.Get();
    const LockResult lock = LockGrid(grid, false);
    if (lock == LockResult::HeldElsewhere) return BeingWritten(leaf);
    if (lock == LockResult::Failed) return InTheWay(leaf, std::string("cannot lock it: ") + std::strerror(errno));
    // Held from here to the end, when the descriptor is closed.
    const PlaceJudgement judgement = JudgeContents(grid, leaf);
    if (judgement.state != PlaceState::Leftover) return judgement;
    struct stat held {};
    for (const char* name : {cellFileName, unfinishedHeaderName}) {
        if (unlinkat(grid, name, 0) != 0 && errno != ENOENT) {
            return InTheWay(leaf, std::string("cannot remove ") + name + ": " + std::strerror(errno));
        }
    }
    if (fstat(grid, &held) != 0 || !RemoveIfStill(folder, leaf, held, true)) {
        return InTheWay(leaf, "moved, or cannot be removed");
    }
    return Judged(PlaceState::Free);
}

}  // namespace mdgridio
