#include "batch/grid_place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "mdgridio/grid_places.h"

namespace fs = std::filesystem;

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

GridPlace Failure(const std::string& message) { return {PlaceOutcome::Failed, message}; }

// The folder `name` inside `parent`, made when missing and `make`; a link or
// anything else there is in the way.
HeldFolderDescriptor HoldSubfolder(int parent, const std::string& name, const std::string& path, bool make,
                                   std::string& failure) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    HeldFolderDescriptor held(openat(parent, name.c_str(), flags));
    // Another batch may make it at the same moment.
    if (make && !held.IsHeld() && errno == ENOENT && (mkdirat(parent, name.c_str(), 0777) == 0 || errno == EEXIST))
        held = HeldFolderDescriptor(openat(parent, name.c_str(), flags));
    if (held.IsHeld()) return held;
    if (errno == ELOOP || errno == ENOTDIR)
        failure = path + " is in the way: not a folder";
    else
        failure = (make ? "cannot make the folder " : "cannot open the folder ") + path + ": " + std::strerror(errno);
    return held;
}

// The grid's own folder, held, and the grid's name inside it.
struct GridParent {
    HeldFolderDescriptor held;
    int descriptor = -1;
    fs::path path;
    std::string leaf;
    std::string failure;
};

GridParent HoldGridParent(const GridRoot& root, const std::string& relative, bool make) {
    GridParent parent{{}, root.descriptor, root.path, {}, {}};
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        const std::string name = relative.substr(start, slash - start);
        parent.path /= name;
        parent.held = HoldSubfolder(parent.descriptor, name, parent.path.string(), make, parent.failure);
        if (!parent.held.IsHeld()) return parent;
        parent.descriptor = parent.held.Get();
        start = slash + 1;
    }
    parent.leaf = relative.substr(start);
    return parent;
}

// The library names the leaf in its reason; the user needs the whole path.
GridPlace FromJudgement(const GridParent& parent, const mdgridio::PlaceJudgement& judgement) {
    switch (judgement.state) {
        case mdgridio::PlaceState::Free: return {PlaceOutcome::Free};
        case mdgridio::PlaceState::Finished: return {PlaceOutcome::Kept};
        case mdgridio::PlaceState::BeingWritten:
            return {PlaceOutcome::Failed, (parent.path / judgement.why).string(), true};
        default: return Failure((parent.path / judgement.why).string());
    }
}

}  // namespace

GridPlace PrepareGridPlace(const GridRoot& root, const std::string& relative) {
    GridParent parent = HoldGridParent(root, relative, true);
    if (!parent.failure.empty()) return Failure(parent.failure);
    mdgridio::PlaceJudgement judgement = mdgridio::JudgeGridPlace(parent.descriptor, parent.leaf);
    if (judgement.state == mdgridio::PlaceState::Leftover)
        judgement = mdgridio::ClearLeftover(parent.descriptor, parent.leaf);
    GridPlace place = FromJudgement(parent, judgement);
    if (place.outcome != PlaceOutcome::Free) return place;
    place.folder = parent.descriptor;
    place.heldFolder = std::move(parent.held);
    place.leaf = parent.leaf;
    return place;
}

GridPlace JudgeMadeGrid(const GridRoot& root, const std::string& relative) {
    const GridParent parent = HoldGridParent(root, relative, false);
    if (!parent.failure.empty()) return Failure(parent.failure);
    const mdgridio::PlaceJudgement judgement = mdgridio::JudgeGridPlace(parent.descriptor, parent.leaf);
    if (judgement.state == mdgridio::PlaceState::Free)
        return Failure((parent.path / parent.leaf).string() + " is missing");
    // Unfinished and not locked yet: another run has only just made it.
    if (judgement.state == mdgridio::PlaceState::Leftover)
        return {PlaceOutcome::Failed, (parent.path / parent.leaf).string() + " is being written by another run", true};
    return FromJudgement(parent, judgement);
}
