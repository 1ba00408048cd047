#include "mdgridio/grid_files.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace mdgridio {

namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr std::size_t largestWrite = std::size_t{1} << 30;

}  // namespace

bool OutputFile::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(offset);
        position.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD written = 0;
        const auto part = static_cast<DWORD>(std::min(size, largestWrite));
        if (!WriteFile(Native(handle), next, part, &written, &position) || written == 0)
            return false;
        next += written;
        offset += written;
        size -= written;
    }
    return true;
}

bool OutputFile::Close() {
    if (!IsOpen()) return true;
    return CloseHandle(Native(std::exchange(handle, closedHandle))) != 0;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolderExclusive(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool RemoveFileIfPresent(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

OutputFile CreateNewFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return OutputFile();
    return OutputFile(reinterpret_cast<std::intptr_t>(file));
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : handle(std::exchange(other.handle, releasedHandle)) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (IsHeld()) CloseHandle(Native(handle));
        handle = std::exchange(other.handle, releasedHandle);
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (IsHeld()) CloseHandle(Native(handle));
}

bool HeldFolder::IsAt(const std::string& path) const {
    const HeldFolder named = HoldFolder(path);
    BY_HANDLE_FILE_INFORMATION held{};
    BY_HANDLE_FILE_INFORMATION found{};
    return IsHeld() && named.IsHeld() && GetFileInformationByHandle(Native(handle), &held) &&
           GetFileInformationByHandle(Native(named.handle), &found) &&
           held.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
           held.nFileIndexHigh == found.nFileIndexHigh && held.nFileIndexLow == found.nFileIndexLow;
}

// Sharing deletion lets the grid's own folder be removed while it is held.
HeldFolder HoldFolder(const std::string& path) {
    const HANDLE folder = CreateFileA(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return HeldFolder();
    BY_HANDLE_FILE_INFORMATION information{};
    const bool isPlainFolder = GetFileInformationByHandle(folder, &information) &&
                               (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                               !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!isPlainFolder) {
        CloseHandle(folder);
        return HeldFolder();
    }
    return HeldFolder(reinterpret_cast<std::intptr_t>(folder));
}

}  // namespace mdgridio
