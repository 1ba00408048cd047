// A grid's place before its image is converted, and after: the folders that
// hold it made, and what is there judged by the grid library, which alone
// knows its layouts' files.
#pragma once

#include <string>
#include <utility>

#ifndef _WIN32
// A folder held open: names inside it are looked up from it, never by
// walking its path again.
class HeldFolderDescriptor {
public:
    HeldFolderDescriptor() = default;
    explicit HeldFolderDescriptor(int descriptor) : descriptor(descriptor) {}
    HeldFolderDescriptor(HeldFolderDescriptor&& other) noexcept : descriptor(std::exchange(other.descriptor, -1)) {}
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

// Where grids go: the output folder held, and its path for messages and for
// the converter.
struct GridRoot {
    int descriptor = -1;
    std::string path;
};
#else
// Windows has no folder-relative opening by name: grids are reached by path,
// and what is opened is never a link or junction.
struct GridRoot {
    std::string path;
};
#endif

enum class PlaceOutcome { Free, Kept, Failed };

struct GridPlace {
    PlaceOutcome outcome = PlaceOutcome::Failed;
    std::string message{};     // why, when Failed
    bool beingWritten = false;  // by another run, which holds its lock
#ifdef _WIN32
    std::string folder{};  // the grid's, when Free, for its converter to start in
#else
    int folder = -1;                  // the grid's, when Free: held by the
    HeldFolderDescriptor heldFolder{};  // caller for OUT_DIR, else here
#endif
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
