// The few file-system calls the grid library needs, in its own terms, so that
// each platform supplies them in a single file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
    static constexpr std::intptr_t closedHandle = -1;
    std::intptr_t handle = closedHandle;
};

// A folder kept open: even after someone removes it, no other folder can
// take its identity while it is held, so a new folder of the same name is
// never mistaken for it.
class HeldFolder {
public:
    HeldFolder() = default;
    explicit HeldFolder(std::intptr_t handle) : handle(handle) {}
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    bool IsHeld() const { return handle != releasedHandle; }
    // True when path names this very folder itself, not a link to it.
    bool IsAt(const std::string& path) const;

private:
    static constexpr std::intptr_t releasedHandle = -1;
    std::intptr_t handle = releasedHandle;
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
// Not held when path is not a folder itself (a link to one does not count).
HeldFolder HoldFolder(const std::string& path);

}  // namespace mdgridio
