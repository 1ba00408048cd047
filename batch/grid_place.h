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

enum class PlaceState { Free, FinishedGrid, Failed };

struct GridPlace {
    PlaceState state = PlaceState::Failed;
    std::string message;  // why, when Failed
};

// Removes exactly the files a killed run leaves (never anything else, never
// recursively) and makes the folders that are to hold the grid.
GridPlace PrepareGridPlace(const std::string& grid, GridLayout layout);
