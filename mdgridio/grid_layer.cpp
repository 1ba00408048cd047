#include "mdgridio/grid_layer.h"

#include <utility>

#include "mdgridio/grid_header_text.h"

namespace mdgridio {

namespace {

std::string CellFilePath(const std::string& folder) { return folder + "/cells.raw"; }
std::string HeaderPath(const std::string& folder) { return folder + "/cells.hdr"; }
std::string UnfinishedHeaderPath(const std::string& folder) {
    return folder + "/cells.hdr.partial";
}

std::int64_t RowOffset(const GridLayout& layout, std::int32_t row) {
    return row * RowBytes(layout);
}

bool FillRows(GridLayer& layer, std::int32_t firstRow, std::int32_t endRow) {
    if (endRow <= firstRow) return true;
    return WriteRepeatedCell(layer.cells, RowOffset(layer.layout, firstRow),
                             NoDataBits(layer.layout.cellType),
                             std::int64_t{endRow - firstRow} * layer.layout.columns);
}

bool WriteHeader(const std::string& folder, const GridLayout& layout) {
    const std::string text = FormatGridHeader(layout);
    const std::string unfinished = UnfinishedHeaderPath(folder);
    OutputFile file = CreateNewFile(unfinished);
    if (!file.IsOpen()) return false;
    if (file.WriteAt(0, text.data(), text.size()) && file.Close() &&
        RenameReplacing(unfinished, HeaderPath(folder))) {
        return true;
    }
    file.Close();
    RemoveFileIfPresent(unfinished);
    return false;
}

}  // namespace

std::unique_ptr<GridLayer> CreateGridLayer(const std::string& folder, const GridLayout& layout) {
    // Everything that can throw comes before anything exists on disk.
    auto layer = std::make_unique<GridLayer>();
    layer->folder = folder;
    layer->layout = layout;
    layer->cells = MakeCellFileWriter(OutputFile());
    const std::string cellFile = CellFilePath(folder);

    if (!MakeFolderExclusive(folder)) return nullptr;
    layer->cells.file = CreateNewFile(cellFile);
    if (!layer->cells.file.IsOpen()) {
        RemoveFolder(folder);
        return nullptr;
    }
    return layer;
}

bool PutGridRow(GridLayer& layer, std::int32_t row, const void* cells) {
    if (layer.failed || cells == nullptr || row < 0 || row >= layer.layout.rows) return false;
    const bool written =
        FillRows(layer, layer.rowsCovered, row) &&
        WriteCellBytes(layer.cells, RowOffset(layer.layout, row), cells, RowBytes(layer.layout));
    if (!written) {
        layer.failed = true;
        return false;
    }
    if (row >= layer.rowsCovered) layer.rowsCovered = row + 1;
    return true;
}

bool FinishGridLayer(GridLayer& layer) {
    // A caller that gives up part way closes before it deletes: filling the
    // rest of a large grid first could write gigabytes for nothing.
    const bool lastRowWritten = layer.rowsCovered == layer.layout.rows;
    const bool cellsWritten = !layer.failed && lastRowWritten && FlushCellFile(layer.cells);
    const bool closed = layer.cells.file.Close();
    layer.failed = !(cellsWritten && closed);
    return !layer.failed && WriteHeader(layer.folder, layer.layout);
}

bool RemoveGridFiles(const std::string& folder) {
    const bool filesRemoved = RemoveFileIfPresent(CellFilePath(folder)) &&
                              RemoveFileIfPresent(HeaderPath(folder)) &&
                              RemoveFileIfPresent(UnfinishedHeaderPath(folder));
    return filesRemoved && RemoveFolder(folder);
}

}  // namespace mdgridio
