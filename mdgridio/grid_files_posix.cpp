#include "mdgridio/grid_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace mdgridio {

static_assert(sizeof(off_t) == 8, "grids over 2 GiB need 64-bit file offsets");

namespace {

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

bool OutputFile::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = pwrite(Descriptor(handle), next, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        offset += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::Close() {
    if (!IsOpen()) return true;
    // A signal that cuts the close short is no write failure: the descriptor
    // is released all the same, and pwrite has already taken every byte.
    return close(Descriptor(std::exchange(handle, closedHandle))) == 0 || errno == EINTR;
}

bool PathExists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

bool MakeFolderExclusive(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool RemoveFileIfPresent(const std::string& path) {
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

OutputFile CreateNewFile(const std::string& path) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return OutputFile();
    return OutputFile(descriptor);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : handle(std::exchange(other.handle, releasedHandle)) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (IsHeld()) close(Descriptor(handle));
        handle = std::exchange(other.handle, releasedHandle);
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (IsHeld()) close(Descriptor(handle));
}

bool HeldFolder::IsAt(const std::string& path) const {
    struct stat held {};
    struct stat named {};
    return IsHeld() && fstat(Descriptor(handle), &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           S_ISDIR(named.st_mode) && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

HeldFolder HoldFolder(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return HeldFolder();
    return HeldFolder(descriptor);
}

}  // namespace mdgridio
