#include "batch/grid_place.h"

#include <filesystem>

#include "mdgridio/grid_places.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

namespace {

GridPlace Failure(const std::string& message) { return {PlaceOutcome::Failed, message}; }

// The grid's own folder, held, and the grid's name inside it.
struct GridParent {
    HeldFolder held;
    mdgridio::FolderHandle descriptor = mdgridio::noFolder;
    fs::path path;
    std::string leaf;
    std::string failure;
};

GridParent HoldGridParent(const GridRoot& root, const std::string& relative, bool make) {
    GridParent parent{{}, root.descriptor, platform::PathOf(root.path), {}, {}};
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        const std::string name = relative.substr(start, slash - start);
        parent.path /= platform::PathOf(name);
        parent.held = HoldSubfolder(parent.descriptor, name, platform::Utf8Of(parent.path), make, parent.failure);
        if (!parent.held.IsHeld()) return parent;
        parent.descriptor = parent.held.Get();
        start = slash + 1;
    }
    parent.leaf = relative.substr(start);
    return parent;
}

std::string Within(const GridParent& parent, const std::string& text) {
    return platform::Utf8Of(parent.path / platform::PathOf(text));
}

// The library names the leaf in its reason; the user needs the whole path.
GridPlace FromJudgement(const GridParent& parent, const mdgridio::PlaceJudgement& judgement) {
    switch (judgement.state) {
        case mdgridio::PlaceState::Free: return {PlaceOutcome::Free};
        case mdgridio::PlaceState::Finished: return {PlaceOutcome::Kept};
        case mdgridio::PlaceState::BeingWritten:
            return {PlaceOutcome::Failed, Within(parent, judgement.why), true};
        default: return Failure(Within(parent, judgement.why));
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
        return Failure(Within(parent, parent.leaf) + " is missing");
    // Unfinished and not locked yet: another run has only just made it.
    if (judgement.state == mdgridio::PlaceState::Leftover)
        return {PlaceOutcome::Failed, Within(parent, parent.leaf) + " is being written by another run", true};
    return FromJudgement(parent, judgement);
}
