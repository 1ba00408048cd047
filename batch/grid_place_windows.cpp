// The grid places of grid_place.cpp on Windows, where a run of the grid
// library holds its grid's folder open without sharing deletion from making
// it to closing it: a folder that cannot be opened for deletion is being
// written. What is removed is opened for deletion without sharing it, so
// that no run can hold it meanwhile, and removed through that handle. What
// is a whole grid is told by the library's own header parser and TIFF mark.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <vector>

#include "batch/grid_place.h"
#include "mdgridio/folder/folder_files.h"
#include "mdgridio/folder/grid_header_text.h"
#include "mdgridio/geotiff/tiff_mark.h"
#include "mdgridio/grid_places.h"
#include "platform/utf8_path.h"
#include "platform/windows_text.h"

namespace fs = std::filesystem;
using mdgridio::PlaceJudgement, mdgridio::PlaceState;

namespace {

// Far more than any header the library writes.
constexpr DWORD largestHeader = 64 * 1024;
// Where the library writes a GeoTIFF grid before it takes the grid's name.
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

PlaceJudgement InTheWay(const std::string& path, const std::string& what) {
    return Judged(PlaceState::InTheWay, path + " is in the way: " + what);
}

PlaceJudgement BeingWritten(const std::string& path) {
    return Judged(PlaceState::BeingWritten, path + " is being written by another run");
}

PlaceJudgement Trouble(const std::string& what) { return Judged(PlaceState::InTheWay, what); }

std::string ErrorText(DWORD error) { return "Windows error " + std::to_string(error); }

std::wstring Wide(std::string_view utf8) { return platform::Utf16(utf8); }

// The thing itself, never what a link or junction points to, opened for
// deletion without sharing it: a run of the library holding it refuses.
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

bool ReadAt(HANDLE file, std::uint64_t at, void* target, std::uint64_t length) {
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

// Whole: the library's own header, and cells of exactly the size it gives.
bool IsWholeGrid(const std::wstring& folder, std::int64_t cellsSize) {
    const Held header(OpenPlace(folder + L"\\" + Wide(mdgridio::headerName), false));
    std::int64_t headerSize = 0;
    if (!header.IsOpen() || KindOf(header.Get(), headerSize) != Kind::File || headerSize > largestHeader) return false;
    const Held readable(ReOpenFile(header.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
    std::string text(static_cast<std::size_t>(headerSize), '\0');
    if (!readable.IsOpen() || !ReadAt(readable.Get(), 0, text.data(), text.size())) return false;
    const auto layout = mdgridio::ParseGridHeader(text);
    return layout && std::int64_t{layout->rows} * mdgridio::RowBytes(*layout) == cellsSize;
}

PlaceJudgement JudgeGridFolder(const std::string& grid, const std::wstring& path, bool clear) {
    const Held folder(OpenPlace(path, true));
    if (!folder.IsOpen()) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION ? BeingWritten(grid)
                                                : Trouble("cannot open " + grid + ": " + ErrorText(error));
    }
    const std::wstring finishedHeader = Wide(mdgridio::headerName), cells = Wide(mdgridio::cellFileName),
                       partialHeader = Wide(mdgridio::unfinishedHeaderName);
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
    if (GetLastError() != ERROR_NO_MORE_FILES) return Trouble("cannot list " + grid + ": " + ErrorText(GetLastError()));
    if (other) return InTheWay(grid, "neither a grid nor what a killed run leaves");
    if (finished)
        return IsWholeGrid(path, cellsSize) ? Judged(PlaceState::Finished)
                                            : InTheWay(grid, "a grid whose header or cells are damaged");
    if (!clear) return Judged(PlaceState::Leftover);
    for (const std::wstring& name : leftovers) {
        const Held file(OpenPlace(path + L"\\" + name, true));
        if (!file.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION) return BeingWritten(grid);
        std::int64_t ignored = 0;
        if (!file.IsOpen() || KindOf(file.Get(), ignored) != Kind::File || !RemoveThrough(file.Get()))
            return Trouble("cannot remove " + grid + "\\" + platform::Utf8(name) + ": " + ErrorText(GetLastError()));
    }
    if (!RemoveThrough(folder.Get()))
        return Trouble("cannot remove the folder " + grid + ": " + ErrorText(GetLastError()));
    return Judged(PlaceState::Free);
}

// A whole TIFF of the library's is a finished grid; an empty file is the
// name a killed run took, maybe with its temporary file beside it, removed
// unless a run holds them.
PlaceJudgement JudgeGridFile(const std::string& grid, const std::wstring& path, bool clear) {
    const std::string temporary = grid + temporarySuffix;
    const Held named(OpenPlace(path, true));
    const DWORD namedError = GetLastError();
    const Held beside(OpenPlace(Wide(temporary), true));
    if ((!named.IsOpen() && namedError == ERROR_SHARING_VIOLATION) ||
        (!beside.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION))
        return BeingWritten(grid);
    std::int64_t size = 0, ignored = 0;
    if (beside.IsOpen() && KindOf(beside.Get(), ignored) != Kind::File) return InTheWay(temporary, "not a file");
    if (!named.IsOpen()) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Trouble("cannot open " + grid);
        return beside.IsOpen() ? InTheWay(temporary, "a temporary file without its grid's placeholder")
                               : Judged(PlaceState::Free);
    }
    if (KindOf(named.Get(), size) != Kind::File) return InTheWay(grid, "not a file");
    if (size > 0) {
        const mdgridio::ReadAt read = [&named](std::uint64_t at, void* target, std::uint64_t length) {
            return ReadAt(named.Get(), at, target, length);
        };
        return mdgridio::IsWholeGeoTiffOfOurs(read, static_cast<std::uint64_t>(size))
                   ? Judged(PlaceState::Finished)
                   : InTheWay(grid, "not a whole GeoTIFF written by this library");
    }
    if (!clear) return Judged(PlaceState::Leftover);
    // The grid library's own order: the temporary file first.
    if (beside.IsOpen() && !RemoveThrough(beside.Get()))
        return Trouble("cannot remove " + temporary + ": " + ErrorText(GetLastError()));
    if (!RemoveThrough(named.Get())) return Trouble("cannot remove " + grid + ": " + ErrorText(GetLastError()));
    return Judged(PlaceState::Free);
}

PlaceJudgement JudgeGridName(const std::string& grid, const std::string& leaf, bool clear) {
    const std::wstring path = Wide(grid);
    if (path.empty()) return Trouble("not a UTF-8 name: " + grid);
    if (mdgridio::LayoutForName(leaf) == mdgridio::LayoutKind::GeoTiff) return JudgeGridFile(grid, path, clear);
    const Held look(OpenPlace(path, false));
    if (!look.IsOpen()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Judged(PlaceState::Free);
        return Trouble("cannot look at " + grid + ": " + ErrorText(error));
    }
    std::int64_t size = 0;
    if (KindOf(look.Get(), size) != Kind::Folder) return InTheWay(grid, "neither a grid nor what a killed run leaves");
    return JudgeGridFolder(grid, path, clear);
}

struct GridName {
    fs::path folder;  // with Windows' own separators
    std::string path, leaf;
};

GridName NameOf(const GridRoot& root, const std::string& relative) {
    const fs::path whole = (platform::PathOf(root.path) / platform::PathOf(relative)).make_preferred();
    return {whole.parent_path(), platform::Utf8Of(whole), platform::Utf8Of(whole.filename())};
}

GridPlace FromJudgement(const PlaceJudgement& judgement) {
    switch (judgement.state) {
        case PlaceState::Free: return {PlaceOutcome::Free};
        case PlaceState::Finished: return {PlaceOutcome::Kept};
        case PlaceState::BeingWritten: return {PlaceOutcome::Failed, judgement.why, true};
        default: return {PlaceOutcome::Failed, judgement.why};
    }
}

}  // namespace

GridPlace PrepareGridPlace(const GridRoot& root, const std::string& relative) {
    const GridName name = NameOf(root, relative);
    GridPlace place = FromJudgement(JudgeGridName(name.path, name.leaf, true));
    if (place.outcome != PlaceOutcome::Free) return place;
    std::error_code error;
    if (!fs::is_directory(name.folder, error)) fs::create_directories(name.folder, error);
    if (error) return {PlaceOutcome::Failed, "cannot make the folder " + platform::Utf8Of(name.folder) + ": " +
                                                 error.message()};
    place.folder = platform::Utf8Of(name.folder);
    place.leaf = name.leaf;
    return place;
}

GridPlace JudgeMadeGrid(const GridRoot& root, const std::string& relative) {
    const GridName name = NameOf(root, relative);
    const PlaceJudgement judgement = JudgeGridName(name.path, name.leaf, false);
    if (judgement.state == PlaceState::Free) return {PlaceOutcome::Failed, name.path + " is missing"};
    // Unfinished and not held: another run has only just made it.
    if (judgement.state == PlaceState::Leftover)
        return {PlaceOutcome::Failed, name.path + " is being written by another run", true};
    return FromJudgement(judgement);
}
