#include "mdgridio/grid_files.h"

#include <utility>

namespace mdgridio {

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle(std::exchange(other.handle, closedHandle)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle = std::exchange(other.handle, closedHandle);
    }
    return *this;
}

OutputFile::~OutputFile() { Close(); }

}  // namespace mdgridio
