#include "mdgridio/grid_lock.h"

#include <sys/file.h>
#include <cerrno>

namespace mdgridio {

LockResult LockGrid(int descriptor, bool wait) {
    if (flock(descriptor, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return LockResult::Taken;
    switch (errno) {
        case EWOULDBLOCK: return LockResult::HeldElsewhere;
        case EBADF:  // emulated over byte ranges, which need a file open for writing
        case ENOLCK:
        case EOPNOTSUPP:
        case EINVAL: return LockResult::Unsupported;
        default: return LockResult::Failed;
    }
}

void UnlockGrid(int descriptor) { flock(descriptor, LOCK_UN); }

}  // namespace mdgridio
