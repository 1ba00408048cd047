// Writes a grid's cell file through one large buffer, so that rows arriving
// in order reach the disk as large sequential writes, while rows arriving out
// of order still land where they belong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "mdgridio/grid_files.h"

namespace mdgridio {

struct CellFileWriter {
    OutputFile file;
    std::unique_ptr<std::byte[]> buffer;
    std::size_t bufferUsed = 0;
    std::int64_t bufferOffset = 0;  // where buffer[0] goes in the file
};

// Allocates the buffer; throws std::bad_alloc like any allocation.
CellFileWriter MakeCellFileWriter(OutputFile file);

bool WriteCellBytes(CellFileWriter& writer, std::int64_t offset, const void* data,
                    std::int64_t size);
bool WriteRepeatedCell(CellFileWriter& writer, std::int64_t offset, std::uint32_t cellBits,
                       std::int64_t cellCount);
bool FlushCellFile(CellFileWriter& writer);

}  // namespace mdgridio
