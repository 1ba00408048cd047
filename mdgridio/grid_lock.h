// The lock a run holds on the grid it writes (its folder, or a GeoTIFF's
// placeholder), from creation until it closes or deletes the grid. Others
// take it without waiting before they judge or remove what is there.
#pragma once

namespace mdgridio {

enum class LockResult {
    Taken,
    HeldElsewhere,
    // The file system has no such locks (some network mounts refuse them
    // on folders): there is nothing to guard with, and nothing to wait for.
    Unsupported,
    Failed,  // interrupted while waiting, or any other error
};

LockResult LockGrid(int descriptor, bool wait);
void UnlockGrid(int descriptor);

}  // namespace mdgridio
