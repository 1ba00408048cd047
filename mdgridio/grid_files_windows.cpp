#include "mdgridio/grid_files.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

namespace mdgridio {

namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr std::size_t largestWrite = std::size_t{1} << 30;

// Names come through the C interface in the process's ANSI code page, as
// the converter's own arguments do, so that is how they are read; the wide
// calls then reach them as the system's own names, whatever the code page.
// An invalid name converts to "", which no call accepts.
std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size,
                                           wide.data(), length) != length)
        return {};
    // A NUL inside would cut the name short.
    if (wide.find(L'\0') != std::wstring::npos) return {};
    return wide;
}

// A folder itself, not a link to one; INVALID_HANDLE_VALUE otherwise.
HANDLE OpenFolder(const std::wstring& path, DWORD access, DWORD sharing) {
    const HANDLE folder =
        CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return folder;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool isPlainFolder = GetFileInformationByHandle(folder, &information) &&
                               (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                               !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (isPlainFolder) return folder;
    CloseHandle(folder);
    return INVALID_HANDLE_VALUE;
}

bool IsSameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
    return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

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
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolderExclusive(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) != 0; }

bool RemoveFileIfPresent(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

OutputFile CreateNewFile(const std::string& path) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return OutputFile();
    return OutputFile(reinterpret_cast<std::intptr_t>(file));
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
    if (IsHeld()) CloseHandle(Native(std::exchange(handle, releasedHandle)));
}

bool HeldFolder::IsAt(const std::string& path) const {
    const HANDLE named = OpenFolder(Wide(path), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    BY_HANDLE_FILE_INFORMATION held{};
    BY_HANDLE_FILE_INFORMATION found{};
    const bool same = IsHeld() && named != INVALID_HANDLE_VALUE &&
                      GetFileInformationByHandle(Native(handle), &held) &&
                      GetFileInformationByHandle(named, &found) && IsSameFile(held, found);
    if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
    return same;
}

// While the folder is held no one can remove or rename it, so its files are
// safely reached by name (relative names from the current folder, which this
// library never changes).
// Held without sharing, the folder and its cell file cannot be removed,
// renamed or replaced: the hold is the lock.
bool HeldFolder::Lock() const { return IsHeld(); }

void HeldFolder::Unlock() const {}

bool HeldFolder::HoldsFile(const std::string&, const OutputFile& file, std::int64_t) const {
    return file.IsOpen();
}

OutputFile HeldFolder::CreateNewFile(const std::string& name) const {
    return mdgridio::CreateNewFile(path + "/" + name);
}

bool HeldFolder::RemoveFileIfPresent(const std::string& name) const {
    return mdgridio::RemoveFileIfPresent(path + "/" + name);
}

bool HeldFolder::RenameReplacing(const std::string& from, const std::string& to) const {
    return mdgridio::RenameReplacing(path + "/" + from, path + "/" + to);
}

// Holding it with the right to delete would keep others from even listing
// it; so the hold is let go, the folder opened again with that right, and
// removed through that handle only if it is still the same folder.
bool HeldFolder::Remove() {
    BY_HANDLE_FILE_INFORMATION held{};
    const bool known = IsStillAtItsName() && GetFileInformationByHandle(Native(handle), &held);
    Release();
    if (!known) return false;
    const HANDLE folder = OpenFolder(Wide(path), DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (folder == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION found{};
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const bool removed = GetFileInformationByHandle(folder, &found) && IsSameFile(held, found) &&
                         SetFileInformationByHandle(folder, FileDispositionInfo, &disposition,
                                                    sizeof disposition);
    CloseHandle(folder);
    return removed;
}

HeldFolder MakeHoldAndLockFolder(std::string path) {
    const std::wstring wide = Wide(path);
    if (!CreateDirectoryW(wide.c_str(), nullptr)) return HeldFolder();
    // Without sharing deletion no one else can remove or rename it now; a
    // handle without the right to read it would not count in that check.
    const HANDLE folder = OpenFolder(wide, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (folder == INVALID_HANDLE_VALUE) {
        RemoveDirectoryW(wide.c_str());
        return HeldFolder();
    }
    return HeldFolder(reinterpret_cast<std::intptr_t>(folder), std::move(path));
}

}  // namespace mdgridio
