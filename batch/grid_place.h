// What is at a grid's name before its image is converted: nothing, a
// finished grid, what a killed run of the grid library leaves, or anything
// else, which is in the way.
#pragma once

#include <string>
#include <vector>

enum class GridLayout { Folder, TifFile };

// What the grid's name adds to the image's path, and the names beside the
// grid that a run of the grid library takes for a while.
inline std::string GridNameSuffix(GridLayout layout) { return layout == GridLayout::TifFile ? ".tif" : ""; }
inline std::vector<std::string> TemporarySuffixes(GridLayout layout) {
    return layout == GridLayout::TifFile ? std::vector<std::string>{".partial"} : std::vector<std::string>{};
}

// A folder held open: names inside it are looked up from it, never by
// walking its path again.
class HeldFolderDescriptor {
public:
    HeldFolderDescriptor() = default;
    explicit HeldFolderDescriptor(int descriptor) : descriptor(descriptor) {}
    HeldFolderDescriptor(HeldFolderDescriptor&& other) noexcept : descriptor(other.descriptor) { other.descriptor = -1; }
    HeldFolderDescriptor& operator=(HeldFolderDescriptor&& other) noexcept;
    HeldFolderDescriptor(const HeldFolderDescriptor&) = delete;
    HeldFolderDescriptor& operator=(const HeldFolderDescriptor&) = delete;
    ~HeldFolderDescriptor();
    int Get() const { return descriptor; }
    bool IsHeld() const { return descriptor >= 0; }

private:
    int descriptor = -1;
};

// The folder at that path (a link to one is followed), held; or why not.
HeldFolderDescriptor HoldFolder(const std::string& path, std::string& failure);

enum class PlaceState { Free, FinishedGrid, Failed };

struct GridPlace {
    PlaceState state = PlaceState::Failed;
    std::string message;  // why, when Failed
};

// Makes the folders that are to hold the grid `relative` (a path under the
// held output folder, whose own path is `outDir`), each reached from the one
// before it and never through a link; then removes exactly the files a
// killed run leaves there (never anything else, never recursively).
GridPlace PrepareGridPlace(int outDirDescriptor, const std::string& outDir, const std::string& relative,
                           GridLayout layout);
