#include "image/byte_source.h"

#include <algorithm>
#include <cstring>

#include "platform/interrupt_signals.h"
#include "platform/waiting_input.h"

FileByteSource::FileByteSource(std::FILE* file) : file(file), mayWait(platform::MayWait(file)) {}

std::size_t FileByteSource::ReadElements(void* into, std::size_t elementSize, std::size_t count) {
    if (!mayWait) return std::fread(into, elementSize, count, file);
    if (elementSize == 0) return 0;
    return platform::ReadAsDataArrives(file, into, elementSize * count) / elementSize;
}

bool FileByteSource::Interrupted() const { return platform::InterruptRequested(); }

std::size_t MemoryByteSource::ReadElements(void* into, std::size_t elementSize, std::size_t count) {
    if (elementSize == 0 || count == 0 || rest.empty()) return 0;
    const std::size_t whole = std::min(count, rest.size() / elementSize);
    // A short read also hands over and consumes a cut-off last element
    // without counting it, as a file read does.
    const std::size_t copied = whole < count ? rest.size() : whole * elementSize;
    std::memcpy(into, rest.data(), copied);
    rest = rest.subspan(copied);
    return whole;
}
