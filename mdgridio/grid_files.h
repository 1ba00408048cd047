// The few file-system calls the grid library needs, in its own terms, so that
// each platform supplies them in a single file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace mdgridio {

// A file opened for writing; closed when it goes out of scope.
class OutputFile {
public:
    OutputFile() = default;
    explicit OutputFile(std::intptr_t handle) : handle(handle) {}
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool IsOpen() const { return handle != closedHandle; }
    // Writes all of data at that byte offset; false on any failure.
    bool WriteAt(std::int64_t offset, const void* data, std::size_t size);
    // False when the system reports a failure while closing (delayed writes).
    bool Close();

private:
    friend class HeldFolder;
    static constexpr std::intptr_t closedHandle = -1;
    std::intptr_t handle = closedHandle;
};

// A folder kept open from the moment it was made, through which its files
// are reached: a folder removed or renamed meanwhile, and a new folder of the
// same name, are never mistaken for it and never written to. On Windows no
// one can remove or rename it while it is held; elsewhere it is locked
// (grid_lock.h) while its grid is written.
class HeldFolder {
public:
    HeldFolder() = default;
    HeldFolder(std::intptr_t handle, std::string path) : handle(handle), path(std::move(path)) {}
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    bool IsHeld() const { return handle != releasedHandle; }
    // True when the name it was made under still names this very folder.
    bool IsStillAtItsName() const { return IsAt(path); }
    // True when path names this very folder itself, not a link to it.
    bool IsAt(const std::string& path) const;

    // Waits for the grid's lock; true where the file system has no locks.
    bool Lock() const;
    void Unlock() const;

    // True when name is the very file open as `file`, with `size` bytes.
    bool HoldsFile(const std::string& name, const OutputFile& file, std::int64_t size) const;

    // Files inside it, by bare name. Fails when anything already exists there.
    OutputFile CreateNewFile(const std::string& name) const;
    // True when the file is gone afterwards, including when it was never there.
    bool RemoveFileIfPresent(const std::string& name) const;
    bool RenameReplacing(const std::string& from, const std::string& to) const;
    // Removes the folder, which must be empty, only while it is still at its
    // name; released either way.
    bool Remove();

private:
    void Release();
    static constexpr std::intptr_t releasedHandle = -1;
    std::intptr_t handle = releasedHandle;
    std::string path;
};

// True for anything at all at that path, even a link that points nowhere.
bool PathExists(const std::string& path);
// Fails when anything already exists there, so only one caller can win.
bool MakeFolderExclusive(const std::string& path);
bool RemoveFolder(const std::string& path);
// True when the file is gone afterwards, including when it was never there.
bool RemoveFileIfPresent(const std::string& path);
bool RenameReplacing(const std::string& from, const std::string& to);
// Fails when anything already exists there.
OutputFile CreateNewFile(const std::string& path);
// Makes the folder (only when nothing exists there yet), holds it and locks
// it; not held on failure, with nothing left behind. Fails, leaving it to
// whoever did so, when the folder was removed or replaced before it was
// locked (a batch may take a folder with nothing in it for a killed run's).
// Takes its own copy of the path before anything exists on disk, so nothing
// after can fail to allocate.
HeldFolder MakeHoldAndLockFolder(std::string path);

}  // namespace mdgridio
