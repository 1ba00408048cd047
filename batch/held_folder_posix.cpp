#include "batch/held_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (IsHeld()) close(handle);
        handle = std::exchange(other.handle, mdgridio::noFolder);
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (IsHeld()) close(handle);
}

HeldFolder HoldFolder(const std::string& path, std::string& failure) {
    HeldFolder held(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!held.IsHeld()) failure = "cannot open the folder " + path + ": " + std::strerror(errno);
    return held;
}

HeldFolder HoldSubfolder(int parent, const std::string& name, const std::string& path, bool make,
                         std::string& failure) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    HeldFolder held(openat(parent, name.c_str(), flags));
    // Another batch may make it at the same moment.
    if (make && !held.IsHeld() && errno == ENOENT && (mkdirat(parent, name.c_str(), 0777) == 0 || errno == EEXIST))
        held = HeldFolder(openat(parent, name.c_str(), flags));
    if (held.IsHeld()) return held;
    if (errno == ELOOP || errno == ENOTDIR)
        failure = path + " is in the way: not a folder";
    else
        failure = (make ? "cannot make the folder " : "cannot open the folder ") + path + ": " + std::strerror(errno);
    return held;
}
