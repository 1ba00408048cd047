#include "mdgridio/geotiff/geotiff_place.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mdgridio/geotiff/temporary_name.h"
#include "mdgridio/geotiff/tiff_mark.h"
#include "mdgridio/grid_lock.h"
#include "mdgridio/place_files.h"

namespace mdgridio {

namespace {

PlaceJudgement CannotLook(const std::string& leaf) {
    return InTheWay(leaf, std::string("cannot look at it: ") + std::strerror(errno));
}

// The temporary file beside a placeholder: nothing, or a regular file.
struct Temporary {
    std::string leaf;
    bool present = false;
    struct stat status {};
};

bool LookAtTemporary(int folder, Temporary& temporary) {
    if (LookAt(folder, temporary.leaf, temporary.status)) {
        temporary.present = true;
        return S_ISREG(temporary.status.st_mode);
    }
    return errno == ENOENT;
}

// For writing where allowed (nothing is written): where locks are emulated
// over byte ranges (NFS), only such a descriptor can test the lock.
Descriptor OpenForLock(int folder, const std::string& leaf) {
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int file = openat(folder, leaf.c_str(), O_RDWR | flags);
    if (file >= 0 || (errno != EACCES && errno != EROFS)) return Descriptor(file);
    return Descriptor(openat(folder, leaf.c_str(), O_RDONLY | flags));
}

// A run takes the name with an empty placeholder, locked, then writes the
// temporary beside it; the placeholder's lock guards both. The lock is
// kept when clearing, until the placeholder's descriptor is closed.
PlaceJudgement JudgeOrClear(int folder, const std::string& leaf, bool clear) {
    Temporary temporary{GeoTiffTemporaryLeaf(folder, leaf)};
    struct stat status {};
    if (!LookAt(folder, leaf, status)) {
        if (errno != ENOENT) return CannotLook(leaf);
        if (!LookAtTemporary(folder, temporary)) return InTheWay(temporary.leaf, "not a regular file");
        return temporary.present ? InTheWay(temporary.leaf, "a temporary file without its grid's placeholder")
                                 : Judged(PlaceState::Free);
    }
    // Only a regular file is opened: opening a device may act on it.
    if (!S_ISREG(status.st_mode)) return InTheWay(leaf, "not a regular file");
    const Descriptor file = OpenForLock(folder, leaf);
    if (!file.IsOpen() || fstat(file.Get(), &status) != 0) return CannotLook(leaf);
    if (!S_ISREG(status.st_mode)) return InTheWay(leaf, "not a regular file");
    if (status.st_size > 0) {
        return IsWholeGeoTiffOfOurs(file.Get(), static_cast<std::uint64_t>(status.st_size))
                   ? Judged(PlaceState::Finished)
                   : InTheWay(leaf, "not a whole GeoTIFF written by this library");
    }
    const LockResult lock = LockGrid(file.Get(), false);
    if (lock == LockResult::HeldElsewhere) return BeingWritten(leaf);
    if (lock == LockResult::Failed) return InTheWay(leaf, std::string("cannot lock it: ") + std::strerror(errno));
    if (!LookAtTemporary(folder, temporary)) return InTheWay(temporary.leaf, "not a regular file");
    if (!clear) return Judged(PlaceState::Leftover);
    // The library's own order: the temporary first.
    if (temporary.present && !RemoveIfStill(folder, temporary.leaf, temporary.status, false)) {
        return InTheWay(temporary.leaf, "cannot remove it");
    }
    if (!RemoveIfStill(folder, leaf, status, false)) return InTheWay(leaf, "cannot remove it");
    return Judged(PlaceState::Free);
}

}  // namespace

PlaceJudgement JudgeGeoTiffGrid(int folder, const std::string& leaf) {
    return JudgeOrClear(folder, leaf, false);
}

PlaceJudgement ClearGeoTiffLeftover(int folder, const std::string& leaf) {
    return JudgeOrClear(folder, leaf, true);
}

}  // namespace mdgridio
