#include "mdgridio/geotiff_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

namespace mdgridio {

namespace {

std::string TemporaryLeaf(const std::string& leaf) { return leaf + ".partial"; }

FileIdentity IdentityOf(const struct stat& status) {
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

bool SameFile(const FileIdentity& one, const FileIdentity& other) {
    return one.device == other.device && one.inode == other.inode;
}

bool IsStill(int folder, const std::string& leaf, const FileIdentity& identity) {
    struct stat status {};
    return fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(status.st_mode) && SameFile(IdentityOf(status), identity);
}

void RemoveIfStill(int folder, const std::string& leaf, const FileIdentity& identity) {
    if (IsStill(folder, leaf, identity)) unlinkat(folder, leaf.c_str(), 0);
}

void CloseDescriptor(int& descriptor) {
    if (descriptor >= 0) close(std::exchange(descriptor, -1));
}

// The new file's descriptor and identity; -1 when anything is there already.
int CreateExclusive(int folder, const std::string& leaf, FileIdentity& identity) {
    const int file =
        openat(folder, leaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    struct stat status {};
    if (file >= 0 && fstat(file, &status) == 0) {
        identity = IdentityOf(status);
        return file;
    }
    if (file >= 0) {
        close(file);
        unlinkat(folder, leaf.c_str(), 0);
    }
    return -1;
}

bool SyncFile(int file) {
    while (fsync(file) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

TakenName::TakenName(TakenName&& other) noexcept
    : folder(std::exchange(other.folder, -1)),
      temporary(std::exchange(other.temporary, -1)),
      leaf(std::move(other.leaf)),
      placeholderIdentity(other.placeholderIdentity),
      temporaryIdentity(other.temporaryIdentity) {}

TakenName::~TakenName() {
    if (folder < 0) return;
    if (temporary >= 0) {
        CloseDescriptor(temporary);
        RemoveIfStill(folder, TemporaryLeaf(leaf), temporaryIdentity);
        RemoveIfStill(folder, leaf, placeholderIdentity);
    }
    CloseDescriptor(folder);
}

std::string TakenName::TemporaryPath() const {
    return "/proc/self/fd/" + std::to_string(temporary);
}

std::optional<FileIdentity> TakenName::PutInPlace() {
    const std::string temporaryLeaf = TemporaryLeaf(leaf);
    if (!SyncFile(temporary) || !IsStill(folder, temporaryLeaf, temporaryIdentity) ||
        !IsStill(folder, leaf, placeholderIdentity) ||
        renameat(folder, temporaryLeaf.c_str(), folder, leaf.c_str()) != 0) {
        return std::nullopt;
    }
    CloseDescriptor(temporary);
    return temporaryIdentity;
}

std::optional<TakenName> TakeName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string parent =
        slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    TakenName name;
    name.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string temporaryLeaf = TemporaryLeaf(name.leaf);
    name.folder = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (name.folder < 0) return std::nullopt;
    const int placeholder = CreateExclusive(name.folder, name.leaf, name.placeholderIdentity);
    if (placeholder < 0) return std::nullopt;
    close(placeholder);
    name.temporary = CreateExclusive(name.folder, temporaryLeaf, name.temporaryIdentity);
    if (name.temporary < 0) {
        RemoveIfStill(name.folder, name.leaf, name.placeholderIdentity);
        return std::nullopt;
    }
    return name;
}

bool RemoveFileIfStill(const std::string& path, const FileIdentity& identity) {
    return IsStill(AT_FDCWD, path, identity) && unlink(path.c_str()) == 0;
}

}  // namespace mdgridio
