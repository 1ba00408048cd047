#include "mdgridio/folder/folder_grid.h"

#include <utility>

#include "mdgridio/folder/cell_file_writer.h"
#include "mdgridio/folder/folder_files.h"
#include "mdgridio/folder/grid_header_text.h"
#include "mdgridio/grid_files.h"

namespace mdgridio {

namespace {

std::int64_t RowOffset(const GridLayout& layout, std::int32_t row) {
    return row * RowBytes(layout);
}

// A folder moved away between the checks keeps no header: the grid it holds
// is no longer the one asked for.
bool WriteHeader(const HeldFolder& folder, const GridLayout& layout) {
    const std::string text = FormatGridHeader(layout);
    if (!folder.IsStillAtItsName()) return false;
    OutputFile file = folder.CreateNewFile(unfinishedHeaderName);
    if (!file.IsOpen()) return false;
    if (file.WriteAt(0, text.data(), text.size()) && file.Close() &&
        folder.RenameReplacing(unfinishedHeaderName, headerName)) {
        if (folder.IsStillAtItsName()) return true;
        folder.RemoveFileIfPresent(headerName);
    }
    file.Close();
    folder.RemoveFileIfPresent(unfinishedHeaderName);
    return false;
}

class FolderGrid final : public LayoutGrid {
public:
    explicit FolderGrid(const GridLayout& layout) : layout(layout), cells(MakeCellFileWriter(OutputFile())) {}

    bool Create(std::string name) {
        folder = MakeHoldAndLockFolder(std::move(name));
        if (!folder.IsHeld()) return false;
        cells.file = folder.CreateNewFile(cellFileName);
        if (cells.file.IsOpen()) return true;
        folder.Remove();
        return false;
    }

    const GridLayout& Dimensions() const override { return layout; }

    bool PutRow(std::int32_t row, const void* cells) override {
        if (failed || !this->cells.file.IsOpen() || cells == nullptr || row < 0 || row >= layout.rows) {
            return false;
        }
        const bool written = FillRows(rowsCovered, row) &&
                             WriteCellBytes(this->cells, RowOffset(layout, row), cells, RowBytes(layout));
        if (!written) {
            failed = true;
            return false;
        }
        if (row >= rowsCovered) rowsCovered = row + 1;
        return true;
    }

    // A caller that gives up part way closes before it removes: filling the
    // rest of a large grid first could write gigabytes for nothing. Cells
    // unlinked or replaced meanwhile never get a header.
    bool Finish() override {
        if (!cells.file.IsOpen()) return false;
        const bool lastRowWritten = rowsCovered == layout.rows;
        const bool cellsWritten = !failed && lastRowWritten && FlushCellFile(cells) &&
                                  folder.HoldsFile(cellFileName, cells.file, layout.rows * RowBytes(layout));
        const bool closed = cells.file.Close();
        failed = !(cellsWritten && closed && WriteHeader(folder, layout));
        if (!failed) folder.Unlock();
        return !failed;
    }

    bool IsAtItsName() const override { return folder.IsStillAtItsName(); }

    // The folder goes last, which fails when someone else left files there
    // or it is no longer at its name.
    bool Remove() override {
        cells.file.Close();
        if (!folder.Lock()) return false;
        const bool filesRemoved = folder.RemoveFileIfPresent(cellFileName) &&
                                  folder.RemoveFileIfPresent(headerName) &&
                                  folder.RemoveFileIfPresent(unfinishedHeaderName);
        return filesRemoved && folder.Remove();
    }

private:
    bool FillRows(std::int32_t firstRow, std::int32_t endRow) {
        if (endRow <= firstRow) return true;
        return WriteRepeatedCell(cells, RowOffset(layout, firstRow), NoDataBits(layout.cellType),
                                 std::int64_t{endRow - firstRow} * layout.columns);
    }

    GridLayout layout;
    HeldFolder folder;
    CellFileWriter cells;
    // Every row before this one was written or filled with no-data, and none
    // from it on. A row written past it fills the rows it skips, so no per-row
    // record is needed and memory stays the same whatever the grid's size.
    // The grid is whole once it reaches the last row.
    std::int32_t rowsCovered = 0;
    bool failed = false;
};

}  // namespace

std::unique_ptr<LayoutGrid> CreateFolderGrid(const std::string& name, const GridLayout& layout) {
    // Everything that can throw comes before anything exists on disk.
    auto grid = std::make_unique<FolderGrid>(layout);
    std::string path = name;
    if (!grid->Create(std::move(path))) return nullptr;
    return grid;
}

}  // namespace mdgridio
