#include "tools/output_file.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t bufferSize = std::size_t{4} << 20;

}  // namespace

OutputFile::OutputFile(const std::string& path) : file(std::fopen(path.c_str(), "wb")) {
    if (file) buffer.resize(bufferSize);
}

void OutputFile::Append(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        if (used == buffer.size()) Flush();
        const std::size_t taken = std::min(count, buffer.size() - used);
        std::memcpy(buffer.data() + used, bytes, taken);
        used += taken;
        bytes += taken;
        count -= taken;
    }
}

void OutputFile::AppendRepeated(const std::uint8_t* element, std::size_t width,
                                std::int64_t count) {
    while (count > 0) {
        if (buffer.size() - used < width) Flush();
        const auto fitting = static_cast<std::int64_t>((buffer.size() - used) / width);
        const std::int64_t taken = std::min(count, fitting);
        for (std::int64_t copy = 0; copy < taken; ++copy, used += width)
            std::memcpy(buffer.data() + used, element, width);
        count -= taken;
    }
}

void OutputFile::Flush() {
    // After a failed write the rest is only counted away: the file is lost.
    if (!failed && std::fwrite(buffer.data(), 1, used, file.get()) != used) failed = true;
    used = 0;
}

bool OutputFile::Close() {
    if (!file) return false;
    Flush();
    const bool closed = std::fclose(file.release()) == 0;
    return closed && !failed;
}
