// Grid places on Windows, where a run of the library holds its grid's
// folder (or a GeoTIFF's file) open without sharing deletion from making it
// to closing it: what cannot be opened for deletion is being written. What
// is removed is opened for deletion without sharing it, so that no run can
// take it meanwhile, and removed through that handle. Windows opens no name
// relative to a handle: names are reached by the held folder's own path.
#include <windows.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "mdgridio/folder/folder_files.h"
#include "mdgridio/folder/grid_header_text.h"
#include "mdgridio/geotiff/tiff_mark.h"
#include "mdgridio/grid_places.h"

namespace mdgridio {

namespace {

// Far more than any header this library writes.
constexpr DWORD largestHeader = 64 * 1024;
// Where the GeoTIFF layout writes a grid before it takes the grid's name.
constexpr char temporarySuffix[] = ".partial";

class Held {
public:
    explicit Held(HANDLE value) : value(value) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (IsOpen()) CloseHandle(value);
    }
    HANDLE Get() const { return value; }
    bool IsOpen() const { return value != INVALID_HANDLE_VALUE; }

private:
    HANDLE value;
};

PlaceJudgement Judged(PlaceState state, std::string why = {}) { return {state, std::move(why)}; }

PlaceJudgement InTheWay(const std::string& leaf, const std::string& why) {
    return Judged(PlaceState::InTheWay, leaf + " is in the way: " + why);
}

PlaceJudgement BeingWritten(const std::string& leaf) {
    return Judged(PlaceState::BeingWritten, leaf + " is being written by another run");
}

PlaceJudgement Failed(const std::string& leaf, const std::string& what) {
    return InTheWay(leaf, what + ": Windows error " + std::to_string(GetLastError()));
}

std::wstring Wide(std::string_view utf8) {
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length <= 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length) != length)
        return {};
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// The thing itself, never what a link or junction points to; for removal,
// opened for deletion without sharing it, which a run holding it refuses.
HANDLE OpenPlace(const std::wstring& path, bool forRemoval) {
    const DWORD access = FILE_READ_ATTRIBUTES | SYNCHRONIZE | (forRemoval ? DELETE | GENERIC_READ : 0);
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (forRemoval ? 0 : FILE_SHARE_DELETE);
    return CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

enum class Kind { File, Folder, Other };

Kind KindOf(HANDLE handle, std::int64_t& size) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Kind::Other;
    size = static_cast<std::int64_t>((std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow);
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Folder : Kind::File;
}

bool RemoveThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool ReadFileAt(HANDLE file, std::uint64_t at, void* target, std::uint64_t length) {
    auto* next = static_cast<char*>(target);
    while (length > 0) {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const auto part = static_cast<DWORD>(std::min<std::uint64_t>(length, 1u << 20));
        if (!ReadFile(file, next, part, &got, &position) || got == 0) return false;
        next += got;
        at += got;
        length -= got;
    }
    return true;
}

// Whole and ours: the library's own header, and exactly the cells it gives.
bool IsWholeGrid(const std::wstring& grid, std::int64_t cellsSize) {
    const Held header(OpenPlace(grid + L"\\" + Wide(headerName), false));
    std::int64_t headerSize = 0;
    if (!header.IsOpen() || KindOf(header.Get(), headerSize) != Kind::File || headerSize > largestHeader) return false;
    const Held readable(ReOpenFile(header.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
    std::string text(static_cast<std::size_t>(headerSize), '\0');
    if (!readable.IsOpen() || !ReadFileAt(readable.Get(), 0, text.data(), text.size())) return false;
    const auto layout = ParseGridHeader(text);
    return layout && std::int64_t{layout->rows} * RowBytes(*layout) == cellsSize;
}

PlaceJudgement JudgeFolderGrid(const std::string& leaf, const std::wstring& path, bool clear) {
    {
        const Held look(OpenPlace(path, false));
        if (!look.IsOpen()) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Judged(PlaceState::Free);
            return Failed(leaf, "cannot look at it");
        }
        std::int64_t size = 0;
        if (KindOf(look.Get(), size) != Kind::Folder) return InTheWay(leaf, "not a folder");
    }
    const Held grid(OpenPlace(path, true));
    if (!grid.IsOpen()) return GetLastError() == ERROR_SHARING_VIOLATION ? BeingWritten(leaf) : Failed(leaf, "cannot open it");
    const std::wstring finishedHeader = Wide(headerName), cells = Wide(cellFileName),
                       partialHeader = Wide(unfinishedHeaderName);
    bool finished = false;
    std::int64_t cellsSize = -1;
    std::vector<std::wstring> leftovers;
    // Listed through the held handle: a listing by name would have to share
    // the deletion this handle denies.
    alignas(8) char entries[16 * 1024];
    for (auto kind = FileFullDirectoryRestartInfo;
         GetFileInformationByHandleEx(grid.Get(), kind, entries, sizeof entries); kind = FileFullDirectoryInfo) {
        for (const char* at = entries;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            const bool regular =
                (entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
            if (name != L"." && name != L"..") {
                if (!regular || (name != finishedHeader && name != cells && name != partialHeader))
                    return InTheWay(leaf, "it holds " + Narrow(name) + ", which no grid has");
                if (name == finishedHeader) finished = true;
                else leftovers.emplace_back(name);
                if (name == cells) cellsSize = entry->EndOfFile.QuadPart;
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) return Failed(leaf, "cannot list it");
    if (finished)
        return IsWholeGrid(path, cellsSize) ? Judged(PlaceState::Finished)
                                            : InTheWay(leaf, std::string(headerName) + " and " + cellFileName +
                                                                 " are not a whole grid this library wrote");
    if (!clear) return Judged(PlaceState::Leftover);
    for (const std::wstring& name : leftovers) {
        const Held file(OpenPlace(path + L"\\" + name, true));
        if (!file.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION) return BeingWritten(leaf);
        std::int64_t ignored = 0;
        if (!file.IsOpen() || KindOf(file.Get(), ignored) != Kind::File || !RemoveThrough(file.Get()))
            return Failed(leaf, "cannot remove what it holds");
    }
    if (!RemoveThrough(grid.Get())) return Failed(leaf, "cannot remove it");
    return Judged(PlaceState::Free);
}

// A whole TIFF of the library's is a finished grid; an empty file is the
// name a killed run took, maybe with its temporary file beside it, removed
// unless a run holds them.
PlaceJudgement JudgeGeoTiffGrid(const std::string& leaf, const std::wstring& path, bool clear) {
    const std::string temporary = leaf + temporarySuffix;
    const Held named(OpenPlace(path, true));
    const DWORD namedError = GetLastError();
    const Held beside(OpenPlace(path + Wide(temporarySuffix), true));
    if ((!named.IsOpen() && namedError == ERROR_SHARING_VIOLATION) ||
        (!beside.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION))
        return BeingWritten(leaf);
    std::int64_t size = 0, ignored = 0;
    if (beside.IsOpen() && KindOf(beside.Get(), ignored) != Kind::File) return InTheWay(temporary, "not a regular file");
    if (!named.IsOpen()) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Failed(leaf, "cannot open it");
        return beside.IsOpen() ? InTheWay(temporary, "a temporary file without its grid's placeholder")
                               : Judged(PlaceState::Free);
    }
    if (KindOf(named.Get(), size) != Kind::File) return InTheWay(leaf, "not a regular file");
    if (size > 0) {
        const ReadAt read = [&named](std::uint64_t at, void* target, std::uint64_t length) {
            return ReadFileAt(named.Get(), at, target, length);
        };
        return IsWholeGeoTiffOfOurs(read, static_cast<std::uint64_t>(size))
                   ? Judged(PlaceState::Finished)
                   : InTheWay(leaf, "not a whole GeoTIFF written by this library");
    }
    if (!clear) return Judged(PlaceState::Leftover);
    // The library's own order: the temporary first.
    if (beside.IsOpen() && !RemoveThrough(beside.Get())) return Failed(temporary, "cannot remove it");
    if (!RemoveThrough(named.Get())) return Failed(leaf, "cannot remove it");
    return Judged(PlaceState::Free);
}

PlaceJudgement Judge(FolderHandle folder, const std::string& leaf, bool clear) {
    if (leaf.empty() || leaf == "." || leaf == ".." || leaf.find_first_of("/\\:") != std::string::npos)
        return InTheWay(leaf, "not a name inside the folder");
    const std::wstring base = FolderPath(folder), name = Wide(leaf);
    if (base.empty()) return Failed(leaf, "cannot tell where its folder is");
    if (name.empty()) return InTheWay(leaf, "not a UTF-8 name");
    const std::wstring path = base + L"\\" + name;
    return LayoutForName(leaf) == LayoutKind::GeoTiff ? JudgeGeoTiffGrid(leaf, path, clear)
                                                       : JudgeFolderGrid(leaf, path, clear);
}

}  // namespace

std::wstring FolderPath(FolderHandle folder) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            // A drive's path without the \\?\ that the call puts before it,
            // which a process's current folder may not take.
            if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
            if (path.starts_with(L"\\\\?\\")) return path.substr(4);
            return path;
        }
        path.resize(length);
    }
    return {};
}

PlaceJudgement JudgeGridPlace(FolderHandle folder, const std::string& leaf) { return Judge(folder, leaf, false); }

PlaceJudgement ClearLeftover(FolderHandle folder, const std::string& leaf) { return Judge(folder, leaf, true); }

}  // namespace mdgridio
