#include "driver/row_buffers.h"

#include "image/image_data.h"

RowBuffers AllocateRowBuffers(const ImageHeader& header) {
    const auto columns = static_cast<std::size_t>(header.columns);
    // calloc checks the size product, which can overflow a 32-bit size_t.
    RowBuffers rows;
    rows.inputRow.reset(static_cast<std::byte*>(std::calloc(columns, ElementSize(header.dataType))));
    if (!rows.inputRow) return rows;
    rows.outputRow.reset(static_cast<std::byte*>(std::calloc(columns, 4)));
    if (!rows.outputRow) rows.inputRow.reset();
    return rows;
}
