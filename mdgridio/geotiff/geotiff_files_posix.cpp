#include "mdgridio/geotiff/geotiff_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "mdgridio/geotiff/temporary_name.h"
#include "mdgridio/grid_lock.h"

namespace mdgridio {

namespace {

bool SameFile(const struct stat& status, const FileIdentity& identity) {
    return static_cast<std::uint64_t>(status.st_dev) == identity.device &&
           static_cast<std::uint64_t>(status.st_ino) == identity.inode;
}

bool IsStill(int folder, const std::string& leaf, const FileIdentity& identity) {
    struct stat status {};
    return identity.descriptor >= 0 &&
           fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(status.st_mode) && SameFile(status, identity);
}

void LetGo(FileIdentity& identity) {
    if (identity.descriptor >= 0) close(std::exchange(identity.descriptor, -1));
}

void RemoveIfStill(int folder, const std::string& leaf, FileIdentity& identity) {
    if (IsStill(folder, leaf, identity)) unlinkat(folder, leaf.c_str(), 0);
    LetGo(identity);
}

// Empty when anything is there already.
std::optional<FileIdentity> CreateExclusive(int folder, const std::string& leaf) {
    FileIdentity identity;
    identity.descriptor =
        openat(folder, leaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (identity.descriptor < 0) return std::nullopt;
    struct stat status {};
    if (fstat(identity.descriptor, &status) != 0) {
        unlinkat(folder, leaf.c_str(), 0);
        LetGo(identity);
        return std::nullopt;
    }
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    return identity;
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
      leaf(std::move(other.leaf)),
      temporaryLeaf(std::move(other.temporaryLeaf)),
      placeholder(std::exchange(other.placeholder, FileIdentity{})),
      temporary(std::exchange(other.temporary, FileIdentity{})) {}

TakenName::~TakenName() {
    if (folder < 0) return;
    RemoveIfStill(folder, temporaryLeaf, temporary);
    RemoveIfStill(folder, leaf, placeholder);
    close(folder);
}

std::string TakenName::TemporaryPath() const {
    return "/proc/self/fd/" + std::to_string(temporary.descriptor);
}

std::optional<FileIdentity> TakenName::PutInPlace() {
    if (!SyncFile(temporary.descriptor) || !IsStill(folder, temporaryLeaf, temporary) ||
        !IsStill(folder, leaf, placeholder) ||
        renameat(folder, temporaryLeaf.c_str(), folder, leaf.c_str()) != 0) {
        return std::nullopt;
    }
    LetGo(placeholder);
    return std::exchange(temporary, FileIdentity{});
}

int TakenName::OpenScratch() const {
    const int scratch = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (scratch >= 0) return scratch;
    const char* temporaryFolder = std::getenv("TMPDIR");
    return open(temporaryFolder != nullptr && *temporaryFolder != '\0' ? temporaryFolder : "/tmp",
                O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

std::optional<TakenName> TakeName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string parent =
        slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    TakenName name;
    name.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    name.folder = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (name.folder < 0) return std::nullopt;
    name.temporaryLeaf = GeoTiffTemporaryLeaf(name.folder, name.leaf);
    auto placeholder = CreateExclusive(name.folder, name.leaf);
    if (!placeholder) return std::nullopt;
    name.placeholder = *placeholder;
    // Locked, the placeholder is no longer taken for a killed run's; one
    // that a batch removed before that is no longer ours to write beside.
    const LockResult lock = LockGrid(name.placeholder.descriptor, true);
    if (lock != LockResult::Taken && lock != LockResult::Unsupported) return std::nullopt;
    if (!IsStill(name.folder, name.leaf, name.placeholder)) {
        LetGo(name.placeholder);
        return std::nullopt;
    }
    auto temporary = CreateExclusive(name.folder, name.temporaryLeaf);
    if (!temporary) return std::nullopt;
    name.temporary = *temporary;
    return name;
}

bool RemoveFileIfStill(const std::string& path, FileIdentity& identity) {
    if (!IsStill(AT_FDCWD, path, identity) || unlink(path.c_str()) != 0) return false;
    LetGo(identity);
    return true;
}

}  // namespace mdgridio
