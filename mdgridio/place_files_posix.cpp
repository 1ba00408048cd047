#include "mdgridio/place_files.h"

#include <fcntl.h>
#include <unistd.h>

namespace mdgridio {

Descriptor::~Descriptor() {
    if (value >= 0) close(value);
}

bool LookAt(int folder, const std::string& leaf, struct stat& status) {
    return fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool SameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// POSIX removes by name only: the name is checked just before. A folder
// that took its place meanwhile is removed only when empty.
bool RemoveIfStill(int folder, const std::string& leaf, const struct stat& held, bool isFolder) {
    struct stat now {};
    return LookAt(folder, leaf, now) && SameFile(now, held) &&
           unlinkat(folder, leaf.c_str(), isFolder ? AT_REMOVEDIR : 0) == 0;
}

PlaceJudgement Judged(PlaceState state, std::string why) { return {state, std::move(why)}; }

PlaceJudgement InTheWay(const std::string& leaf, const std::string& why) {
    return {PlaceState::InTheWay, leaf + " is in the way: " + why};
}

PlaceJudgement BeingWritten(const std::string& leaf) {
    return {PlaceState::BeingWritten, leaf + " is being written by another run"};
}

}  // namespace mdgridio
