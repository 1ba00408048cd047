#include "mdgridio/grid_layer.h"

#include <utility>

#include "mdgridio/folder/grid_header_text.h"

namespace mdgridio {

namespace {

const std::string cellFileName = "cells.raw";
const std::string headerName = "cells.hdr";
const std::string unfinishedHeaderName = "cells.hdr.partial";

std::int64_t RowOffset(const GridLayout& layout, std::int32_t row) {
    return row * RowBytes(layout);
}

bool FillRows(GridLayer& layer, std::int32_t firstRow, std::int32_t endRow) {
    if (endRow <= firstRow) return true;
    return WriteRepeatedCell(layer.cells, RowOffset(layer.layout, firstRow),
                             NoDataBits(layer.layout.cellType),
                             std::int64_t{endRow - firstRow} * layer.layout.columns);
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

}  // namespace

std::unique_ptr<GridLayer> CreateGridLayer(const std::string& folder, const GridLayout& layout) {
    // Everything that can throw comes before anything exists on disk.
    auto layer = std::make_unique<GridLayer>();
    layer->folder = std::make_shared<HeldFolder>();
    layer->layout = layout;
    layer->cells = MakeCellFileWriter(OutputFile());

    *layer->folder = MakeAndHoldFolder(folder);
    if (!layer->folder->IsHeld()) return nullptr;
    layer->cells.file = layer->folder->CreateNewFile(cellFileName);
    if (!layer->cells.file.IsOpen()) {
        layer->folder->Remove();
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
    return !layer.failed && WriteHeader(*layer.folder, layer.layout);
}

bool RemoveGridFiles(HeldFolder& folder) {
    const bool filesRemoved = folder.RemoveFileIfPresent(cellFileName) &&
                              folder.RemoveFileIfPresent(headerName) &&
                              folder.RemoveFileIfPresent(unfinishedHeaderName);
    return filesRemoved && folder.Remove();
}

}  // namespace mdgridio
