// A grid's place before its image is converted, and after: the folders that
// hold it made, and what is there judged by the grid library, which alone
// knows its layouts' files.
#pragma once

#include <string>

#include "batch/held_folder.h"

// Where grids go: the output folder held, and its path for messages.
struct GridRoot {
    mdgridio::FolderHandle descriptor = mdgridio::noFolder;
    std::string path;
};

enum class PlaceOutcome { Free, Kept, Failed };

struct GridPlace {
    PlaceOutcome outcome = PlaceOutcome::Failed;
    std::string message{};     // why, when Failed
    bool beingWritten = false;  // by another run, which holds its lock
    mdgridio::FolderHandle folder = mdgridio::noFolder;  // the grid's, when Free: held by
    HeldFolder heldFolder{};                             // the caller for OUT_DIR, else here
    std::string leaf{};  // the grid's name in it
};

// Makes the folders that are to hold the grid `relative`, each reached from
// the one before it and never through a link. A finished grid there is
// kept, a killed run's leftover removed (only its own files, never
// recursively); a grid another run is writing, and anything else, fail.
// Free comes with the grid's folder held, for its converter to start in.
GridPlace PrepareGridPlace(const GridRoot& root, const std::string& relative);

// After a run of the converter: Kept for a whole grid of the library's own,
// else why not.
GridPlace JudgeMadeGrid(const GridRoot& root, const std::string& relative);
