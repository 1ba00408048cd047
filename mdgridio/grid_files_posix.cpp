#include "mdgridio/grid_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "mdgridio/grid_lock.h"

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
    : handle(std::exchange(other.handle, releasedHandle)), path(std::move(other.path)) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        Release();
        handle = std::exchange(other.handle, releasedHandle);
        path = std::move(other.path);
    }
    return *this;
}

HeldFolder::~HeldFolder() { Release(); }

void HeldFolder::Release() {
    if (IsHeld()) close(Descriptor(std::exchange(handle, releasedHandle)));
}

bool HeldFolder::IsAt(const std::string& path) const {
    struct stat held {};
    struct stat named {};
    return IsHeld() && fstat(Descriptor(handle), &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           S_ISDIR(named.st_mode) && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool HeldFolder::Lock() const {
    const LockResult lock = LockGrid(Descriptor(handle), true);
    return IsHeld() && (lock == LockResult::Taken || lock == LockResult::Unsupported);
}

void HeldFolder::Unlock() const { UnlockGrid(Descriptor(handle)); }

bool HeldFolder::HoldsFile(const std::string& name, const OutputFile& file, std::int64_t size) const {
    struct stat open {};
    struct stat named {};
    return fstat(Descriptor(file.handle), &open) == 0 &&
           fstatat(Descriptor(handle), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino && open.st_size == size;
}

// Inside a folder that was removed, nothing new can be made: the system
// refuses it, so a removed grid folder never gets a header.
OutputFile HeldFolder::CreateNewFile(const std::string& name) const {
    const int descriptor = openat(Descriptor(handle), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) return OutputFile();
    return OutputFile(descriptor);
}

bool HeldFolder::RemoveFileIfPresent(const std::string& name) const {
    return unlinkat(Descriptor(handle), name.c_str(), 0) == 0 || errno == ENOENT;
}

bool HeldFolder::RenameReplacing(const std::string& from, const std::string& to) const {
    return renameat(Descriptor(handle), from.c_str(), Descriptor(handle), to.c_str()) == 0;
}

// POSIX removes folders by name only: the name is checked just before, and
// rmdir removes nothing but an empty folder.
bool HeldFolder::Remove() {
    const bool removed = IsStillAtItsName() && rmdir(path.c_str()) == 0;
    Release();
    return removed;
}

// Made and not locked yet, the folder looks like a killed run's leftover to
// a batch, which may remove it; made again, it is this run's all the same.
// A name taken by anyone else in the meantime fails the creation.
HeldFolder MakeHoldAndLockFolder(std::string path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!MakeFolderExclusive(path)) return HeldFolder();
        const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (descriptor < 0 && errno == ENOENT) continue;
        if (descriptor < 0) {
            RemoveFolder(path);
            return HeldFolder();
        }
        HeldFolder folder(descriptor, path);
        if (!folder.Lock()) {
            folder.Remove();
            return HeldFolder();
        }
        // Locked: from here on no batch removes it.
        if (folder.IsStillAtItsName()) return folder;
    }
    return HeldFolder();
}

}  // namespace mdgridio
