#include <unistd.h>

#include <cerrno>

#include "mdgridio/geotiff/tiff_mark.h"

namespace mdgridio {

bool IsWholeGeoTiffOfOurs(int file, std::uint64_t size) {
    const ReadAt readAt = [file](std::uint64_t at, void* target, std::uint64_t length) {
        auto* next = static_cast<char*>(target);
        while (length > 0) {
            const ssize_t got = pread(file, next, length, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            next += got;
            at += static_cast<std::uint64_t>(got);
            length -= static_cast<std::uint64_t>(got);
        }
        return true;
    };
    return IsWholeGeoTiffOfOurs(readAt, size);
}

}  // namespace mdgridio
