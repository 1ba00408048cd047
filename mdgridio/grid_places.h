// What is at a grid's place on disk, and the removal of what a killed run
// left there. The grid library writes grids; cellport-batch asks here before
// it converts, so that the layouts' files are known in one place only.
#pragma once

#include <cstdint>
#include <string>

namespace mdgridio {

// A folder held open by the caller: a descriptor, or on Windows a HANDLE.
#ifdef _WIN32
using FolderHandle = void*;
inline const FolderHandle noFolder = reinterpret_cast<FolderHandle>(static_cast<std::intptr_t>(-1));
#else
using FolderHandle = int;
inline constexpr FolderHandle noFolder = -1;
#endif

enum class LayoutKind { Folder, GeoTiff };

// The one rule: a name ending in .tif or .tiff, any letter case, is one
// GeoTIFF file; any other a folder.
LayoutKind LayoutForName(const std::string& name);

enum class PlaceState { Free, Finished, Leftover, BeingWritten, InTheWay };

struct PlaceJudgement {
    PlaceState state = PlaceState::InTheWay;
    std::string why;  // for InTheWay and BeingWritten
};

// What is at `leaf` inside the folder held open as `folder`, judged by the
// layout leaf's name picks. Never follows a link at leaf. On Windows leaf
// is UTF-8, and a grid is being written while a run holds it open without
// sharing its deletion.
PlaceJudgement JudgeGridPlace(FolderHandle folder, const std::string& leaf);

// Removes a killed run's leftover at leaf: takes the grid's lock without
// waiting, judges again under it, removes exactly the layout's own files
// one by one through held descriptors, and returns the judgement afterwards:
// Free when done, BeingWritten when the lock is held, Finished when a run
// finished it meanwhile, InTheWay for anything else.
PlaceJudgement ClearLeftover(FolderHandle folder, const std::string& leaf);

#ifdef _WIN32
// The held folder's path as Windows names it now; empty when it cannot
// tell.
std::wstring FolderPath(FolderHandle folder);
#endif

}  // namespace mdgridio
