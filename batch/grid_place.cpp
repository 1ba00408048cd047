#include "batch/grid_place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The folder layout's cells and its header while it is written; its
// header, written last, marks a finished grid.
const char* const leftoverFiles[] = {"cells.raw", "cells.hdr.partial"};
constexpr const char* finishedHeader = "cells.hdr";

enum class Found { Nothing, RegularFile, Folder, Other, Unknown };

struct Entry {
    Found found = Found::Unknown;
    off_t size = 0;
    int error = 0;
};

Entry Look(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        // Under a file, there is nothing; making the folders will say why.
        return {errno == ENOENT || errno == ENOTDIR ? Found::Nothing : Found::Unknown, 0, errno};
    if (S_ISREG(status.st_mode)) return {Found::RegularFile, status.st_size, 0};
    return {S_ISDIR(status.st_mode) ? Found::Folder : Found::Other, 0, 0};
}

GridPlace Failure(const std::string& message) { return {PlaceState::Failed, message}; }

GridPlace InTheWay(const std::string& path) {
    return Failure(path + " is in the way: neither a grid nor what a killed run leaves");
}

GridPlace Unreadable(const std::string& path, int error) {
    return Failure("cannot look at " + path + ": " + std::strerror(error));
}

GridPlace RemoveFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (unlink(path.c_str()) != 0 && errno != ENOENT)
            return Failure("cannot remove " + path + ": " + std::strerror(errno));
    return {PlaceState::Free, {}};
}

// A folder holding its header is a finished grid; one holding nothing but
// regular files among the leftovers is a killed run's, emptied and removed.
GridPlace ClearGridFolder(const std::string& grid) {
    std::error_code error;
    std::vector<std::string> leftovers;
    bool finished = false, other = false;
    for (fs::directory_iterator entries(grid, error); !error && entries != fs::directory_iterator();
         entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        const bool regular = Look(entries->path().string()).found == Found::RegularFile;
        if (name == finishedHeader && regular)
            finished = true;
        else if (regular && (name == leftoverFiles[0] || name == leftoverFiles[1]))
            leftovers.push_back(entries->path().string());
        else
            other = true;
    }
    if (error) return Failure("cannot list " + grid + ": " + error.message());
    if (finished) return {PlaceState::FinishedGrid, {}};
    if (other) return InTheWay(grid);
    if (const GridPlace removed = RemoveFiles(leftovers); removed.state == PlaceState::Failed) return removed;
    if (rmdir(grid.c_str()) != 0) return Failure("cannot remove the folder " + grid + ": " + std::strerror(errno));
    return {PlaceState::Free, {}};
}

// A non-empty file is a finished grid. An empty one is the name a killed run
// took, maybe with its temporary file beside it.
GridPlace ClearGridFile(const std::string& grid) {
    const std::string temporary = grid + TemporarySuffixes(GridLayout::TifFile).front();
    const Entry named = Look(grid), beside = Look(temporary);
    if (named.found == Found::Unknown) return Unreadable(grid, named.error);
    if (beside.found == Found::Unknown) return Unreadable(temporary, beside.error);
    if (named.found == Found::Nothing)
        return beside.found == Found::Nothing ? GridPlace{PlaceState::Free, {}} : InTheWay(temporary);
    if (named.found != Found::RegularFile) return InTheWay(grid);
    if (named.size > 0) return {PlaceState::FinishedGrid, {}};
    if (beside.found == Found::Nothing) return RemoveFiles({grid});
    if (beside.found != Found::RegularFile) return InTheWay(temporary);
    // The grid library's own order: the temporary file first.
    return RemoveFiles({temporary, grid});
}

GridPlace ClearGridName(const std::string& grid, GridLayout layout) {
    if (layout == GridLayout::TifFile) return ClearGridFile(grid);
    const Entry named = Look(grid);
    switch (named.found) {
        case Found::Nothing: return {PlaceState::Free, {}};
        case Found::Folder: return ClearGridFolder(grid);
        case Found::Unknown: return Unreadable(grid, named.error);
        default: return InTheWay(grid);
    }
}

}  // namespace

HeldFolderDescriptor& HeldFolderDescriptor::operator=(HeldFolderDescriptor&& other) noexcept {
    if (this != &other) {
        if (descriptor >= 0) close(descriptor);
        descriptor = other.descriptor;
        other.descriptor = -1;
    }
    return *this;
}

HeldFolderDescriptor::~HeldFolderDescriptor() {
    if (descriptor >= 0) close(descriptor);
}

HeldFolderDescriptor HoldFolder(const std::string& path, std::string& failure) {
    HeldFolderDescriptor held(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!held.IsHeld()) failure = "cannot open the folder " + path + ": " + std::strerror(errno);
    return held;
}

namespace {

// The folder `name` inside `parent`, made when missing; a link or anything
// else there is in the way.
HeldFolderDescriptor HoldSubfolder(int parent, const std::string& name, const std::string& path,
                                   std::string& failure) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    HeldFolderDescriptor held(openat(parent, name.c_str(), flags));
    // Another batch may make it at the same moment.
    if (!held.IsHeld() && errno == ENOENT && (mkdirat(parent, name.c_str(), 0777) == 0 || errno == EEXIST))
        held = HeldFolderDescriptor(openat(parent, name.c_str(), flags));
    if (held.IsHeld()) return held;
    if (errno == ELOOP || errno == ENOTDIR)
        failure = path + " is in the way: not a folder";
    else
        failure = "cannot make the folder " + path + ": " + std::strerror(errno);
    return held;
}

}  // namespace

GridPlace PrepareGridPlace(int outDirDescriptor, const std::string& outDir, const std::string& relative,
                           GridLayout layout) {
    HeldFolderDescriptor folder;
    int current = outDirDescriptor;
    fs::path path = outDir;
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        const std::string name = relative.substr(start, slash - start);
        path /= name;
        std::string failure;
        folder = HoldSubfolder(current, name, path.string(), failure);
        if (!folder.IsHeld()) return Failure(failure);
        current = folder.Get();
        start = slash + 1;
    }
    return ClearGridName((fs::path(outDir) / relative).string(), layout);
}
