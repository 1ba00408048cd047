// The grid places of grid_place.cpp on Windows, where a run of the grid
// library holds its grid's folder open without sharing deletion from making
// it to closing it: a folder that cannot be opened for deletion is being
// written. What is removed is opened for deletion without sharing it, so
// that no run can hold it meanwhile, and removed through that handle.
#include <windows.h>

#include <charconv>
#include <filesystem>
#include <string_view>

#include "batch/grid_place.h"
#include "platform/utf8_path.h"
#include "platform/windows_text.h"

namespace fs = std::filesystem;

namespace {

// The folder layout's header, written last, its cells, and the header while
// it is written.
constexpr std::wstring_view finishedHeader = L"cells.hdr", cells = L"cells.raw", partialHeader = L"cells.hdr.partial";
constexpr std::int64_t cellBytes = 4;
constexpr DWORD largestHeader = 64 * 1024;

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

GridPlace Failure(const std::string& message) { return {PlaceState::Failed, message}; }
GridPlace Free() { return {PlaceState::Free, {}}; }

GridPlace InTheWay(const std::string& path, const std::string& what) {
    return Failure(path + " is in the way: " + what);
}

GridPlace BeingWritten(const std::string& path) {
    return Failure(path + " is being written by another run; left as it is");
}

std::string ErrorText(DWORD error) { return "Windows error " + std::to_string(error); }

// The thing itself, never what a link or junction points to; DELETE access
// without sharing deletion when `forRemoval`.
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

// "samples = 4" of the library's header.
std::int64_t HeaderNumber(std::string_view text, std::string_view key) {
    std::string line(1, '\n');
    line.append(key).append(" = ");
    const std::size_t at = text.find(line);
    std::int64_t value = -1;
    if (at == std::string_view::npos) return -1;
    const char* first = text.data() + at + line.size();
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    return error == std::errc() && end < text.data() + text.size() && *end == '\n' ? value : -1;
}

// Whole: the library's header, and cells of exactly the size it gives.
bool IsWholeGrid(const std::wstring& folder, std::int64_t cellsSize) {
    const Held header(OpenPlace(folder + L"\\" + std::wstring(finishedHeader), false));
    std::int64_t headerSize = 0;
    if (!header.IsOpen() || KindOf(header.Get(), headerSize) != Kind::File || headerSize > largestHeader) return false;
    std::string text(static_cast<std::size_t>(headerSize), '\0');
    DWORD read = 0;
    HANDLE readable = ReOpenFile(header.Get(), GENERIC_READ, FILE_SHARE_READ, 0);
    if (readable == INVALID_HANDLE_VALUE) return false;
    const bool ok = ReadFile(readable, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) &&
                    read == text.size();
    CloseHandle(readable);
    const std::int64_t columns = HeaderNumber(text, "samples"), rows = HeaderNumber(text, "lines");
    return ok && HeaderNumber(text, "header offset") == 0 && columns > 0 && rows > 0 &&
           columns * rows * cellBytes == cellsSize;
}

GridPlace ClearGridFolder(const std::string& grid, const std::wstring& path) {
    const Held folder(OpenPlace(path, true));
    if (!folder.IsOpen()) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION ? BeingWritten(grid)
                                                : Failure("cannot open " + grid + ": " + ErrorText(error));
    }
    bool finished = false, other = false;
    std::int64_t cellsSize = -1;
    std::vector<std::wstring> leftovers;
    // Listed through the held handle: a listing by name would have to share
    // the deletion this handle denies.
    alignas(8) char entries[16 * 1024];
    for (auto kind = FileFullDirectoryRestartInfo;
         GetFileInformationByHandleEx(folder.Get(), kind, entries, sizeof entries); kind = FileFullDirectoryInfo) {
        for (const char* at = entries;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            const bool regular =
                (entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
            if (name == L"." || name == L"..")
                ;
            else if (regular && name == finishedHeader)
                finished = true;
            else if (regular && (name == cells || name == partialHeader))
                leftovers.emplace_back(name);
            else
                other = true;
            if (regular && name == cells) cellsSize = entry->EndOfFile.QuadPart;
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) return Failure("cannot list " + grid + ": " + ErrorText(GetLastError()));
    if (other) return InTheWay(grid, "neither a grid nor what a killed run leaves");
    if (finished)
        return IsWholeGrid(path, cellsSize) ? GridPlace{PlaceState::FinishedGrid, {}}
                                            : InTheWay(grid, "a grid whose header or cells are damaged");
    for (const std::wstring& name : leftovers) {
        const Held file(OpenPlace(path + L"\\" + name, true));
        if (!file.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION) return BeingWritten(grid);
        std::int64_t ignored = 0;
        if (!file.IsOpen() || KindOf(file.Get(), ignored) != Kind::File || !RemoveThrough(file.Get()))
            return Failure("cannot remove " + grid + "\\" + platform::Utf8(name) + ": " + ErrorText(GetLastError()));
    }
    if (!RemoveThrough(folder.Get()))
        return Failure("cannot remove the folder " + grid + ": " + ErrorText(GetLastError()));
    return Free();
}

// A TIFF is a finished grid; an empty file is the name a killed run took,
// maybe with its temporary file beside it, removed unless a run holds them.
GridPlace ClearGridFile(const std::string& grid, const std::wstring& path) {
    const std::string temporary = grid + TemporarySuffixes(GridLayout::TifFile).front();
    const std::wstring temporaryPath = platform::Utf16(temporary);
    const Held named(OpenPlace(path, true));
    const DWORD namedError = GetLastError();
    const Held beside(OpenPlace(temporaryPath, true));
    if ((!named.IsOpen() && namedError == ERROR_SHARING_VIOLATION) ||
        (!beside.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION))
        return BeingWritten(grid);
    std::int64_t size = 0, ignored = 0;
    if (beside.IsOpen() && KindOf(beside.Get(), ignored) != Kind::File) return InTheWay(temporary, "not a file");
    if (!named.IsOpen()) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Failure("cannot open " + grid);
        return beside.IsOpen() ? InTheWay(temporary, "a temporary file without its grid") : Free();
    }
    if (KindOf(named.Get(), size) != Kind::File) return InTheWay(grid, "not a file");
    if (size > 0) {
        char magic[4] = {};
        DWORD read = 0;
        const bool tiff = ReadFile(named.Get(), magic, sizeof magic, &read, nullptr) && read == sizeof magic &&
                          (std::string_view(magic, 4) == std::string_view("II*\0", 4) ||
                           std::string_view(magic, 4) == std::string_view("MM\0*", 4) ||
                           std::string_view(magic, 4) == std::string_view("II+\0", 4));
        return tiff ? GridPlace{PlaceState::FinishedGrid, {}} : InTheWay(grid, "a file that is no TIFF");
    }
    // The grid library's own order: the temporary file first.
    if (beside.IsOpen() && !RemoveThrough(beside.Get()))
        return Failure("cannot remove " + temporary + ": " + ErrorText(GetLastError()));
    if (!RemoveThrough(named.Get())) return Failure("cannot remove " + grid + ": " + ErrorText(GetLastError()));
    return Free();
}

GridPlace ClearGridName(const std::string& grid, GridLayout layout) {
    const std::wstring path = platform::Utf16(grid);
    if (path.empty()) return Failure("not a UTF-8 name: " + grid);
    if (layout == GridLayout::TifFile) return ClearGridFile(grid, path);
    const Held look(OpenPlace(path, false));
    if (!look.IsOpen()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Free();
        return Failure("cannot look at " + grid + ": " + ErrorText(error));
    }
    std::int64_t size = 0;
    if (KindOf(look.Get(), size) != Kind::Folder) return InTheWay(grid, "neither a grid nor what a killed run leaves");
    return ClearGridFolder(grid, path);
}

}  // namespace

GridPlace PrepareGridPlace(const std::string& grid, GridLayout layout) {
    const GridPlace place = ClearGridName(grid, layout);
    if (place.state != PlaceState::Free) return place;
    const fs::path folder = platform::PathOf(grid).parent_path();
    std::error_code error;
    if (folder.empty() || fs::is_directory(folder, error)) return place;
    fs::create_directories(folder, error);
    if (error) return Failure("cannot make the folder " + platform::Utf8Of(folder) + ": " + error.message());
    return place;
}
