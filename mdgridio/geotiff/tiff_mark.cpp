#include "mdgridio/geotiff/tiff_mark.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mdgridio {

namespace {

enum Tag : std::uint16_t {
    stripOffsets = 273,
    stripByteCounts = 279,
    software = 305,
    tileOffsets = 324,
    tileByteCounts = 325,
};

enum Type : std::uint16_t { ascii = 2, shortType = 3, longType = 4, long8Type = 16 };

// Far more than any directory this library writes; bounds what is read.
constexpr std::uint64_t entryLimit = 1000;
constexpr std::uint64_t softwareLimit = 256;
constexpr std::uint64_t valuesPerRead = 8192;

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    std::uint64_t valueAt = 0;  // where its values are in the file
};

class TiffReader {
public:
    TiffReader(const ReadAt& readAt, std::uint64_t size) : readAt(readAt), size(size) {}

    bool ReadHeader(std::uint64_t& firstDirectory) {
        unsigned char header[16];
        if (!Read(0, header, 8)) return false;
        if (std::memcmp(header, "II", 2) == 0) {
            bigEndian = false;
        } else if (std::memcmp(header, "MM", 2) == 0) {
            bigEndian = true;
        } else {
            return false;
        }
        const std::uint16_t magic = Number(header + 2, 2);
        if (magic == 42) {
            firstDirectory = Number(header + 4, 4);
            return true;
        }
        big = true;
        if (magic != 43 || !Read(8, header + 8, 8) || Number(header + 4, 2) != 8 ||
            Number(header + 6, 2) != 0) {
            return false;
        }
        firstDirectory = Number(header + 8, 8);
        return true;
    }

    std::optional<std::vector<Entry>> ReadDirectory(std::uint64_t at) {
        const unsigned countSize = big ? 8 : 2, entrySize = big ? 20 : 12, valueSize = big ? 8 : 4;
        unsigned char countBytes[8];
        if (!Read(at, countBytes, countSize)) return std::nullopt;
        const std::uint64_t count = Number(countBytes, countSize);
        if (count == 0 || count > entryLimit) return std::nullopt;
        std::vector<unsigned char> bytes(count * entrySize);
        if (!Read(at + countSize, bytes.data(), bytes.size())) return std::nullopt;
        std::vector<Entry> entries;
        for (std::uint64_t index = 0; index < count; ++index) {
            const unsigned char* raw = bytes.data() + index * entrySize;
            Entry entry;
            entry.tag = static_cast<std::uint16_t>(Number(raw, 2));
            entry.type = static_cast<std::uint16_t>(Number(raw + 2, 2));
            entry.count = Number(raw + 4, big ? 8 : 4);
            const std::uint64_t fieldAt = at + countSize + index * entrySize + (big ? 12 : 8);
            const std::uint64_t bytesNeeded = entry.count * TypeSize(entry.type);
            entry.valueAt = bytesNeeded <= valueSize ? fieldAt : Number(raw + (big ? 12 : 8), valueSize);
            entries.push_back(entry);
        }
        return entries;
    }

    std::optional<std::string> ReadText(const Entry& entry) {
        if (entry.type != ascii || entry.count > softwareLimit) return std::nullopt;
        std::string text(entry.count, '\0');
        if (!Read(entry.valueAt, text.data(), text.size())) return std::nullopt;
        return text;
    }

    // Values first to first + count of an entry of unsigned integers.
    bool ReadValues(const Entry& entry, std::uint64_t first, std::uint64_t count,
                    std::vector<std::uint64_t>& values) {
        const unsigned valueSize = TypeSize(entry.type);
        if (entry.type != shortType && entry.type != longType && entry.type != long8Type) return false;
        std::vector<unsigned char> bytes(count * valueSize);
        if (!Read(entry.valueAt + first * valueSize, bytes.data(), bytes.size())) return false;
        values.resize(count);
        for (std::uint64_t index = 0; index < count; ++index) {
            values[index] = Number(bytes.data() + index * valueSize, valueSize);
        }
        return true;
    }

private:
    static unsigned TypeSize(std::uint16_t type) {
        switch (type) {
            case shortType: return 2;
            case longType: return 4;
            case long8Type: return 8;
            default: return 1;  // ascii and bytes; nothing else is read
        }
    }

    std::uint64_t Number(const unsigned char* bytes, unsigned width) const {
        std::uint64_t value = 0;
        for (unsigned index = 0; index < width; ++index) {
            const unsigned shift = 8 * (bigEndian ? width - 1 - index : index);
            value |= std::uint64_t{bytes[index]} << shift;
        }
        return value;
    }

    bool Read(std::uint64_t at, void* target, std::uint64_t length) {
        return at <= size && length <= size - at && readAt(at, target, length);
    }

    const ReadAt& readAt;
    std::uint64_t size;
    bool bigEndian = false;
    bool big = false;
};

const Entry* Find(const std::vector<Entry>& entries, std::uint16_t tag) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [tag](const Entry& entry) { return entry.tag == tag; });
    return found == entries.end() ? nullptr : &*found;
}

// Every piece of cells the directory lists lies within the file; read a
// part at a time, so that memory stays small whatever the file claims.
bool HoldsAllPieces(TiffReader& reader, const Entry& offsets, const Entry& counts,
                    std::uint64_t size) {
    if (offsets.count == 0 || offsets.count != counts.count) return false;
    std::vector<std::uint64_t> starts, lengths;
    for (std::uint64_t first = 0; first < offsets.count; first += valuesPerRead) {
        const std::uint64_t count = std::min(valuesPerRead, offsets.count - first);
        if (!reader.ReadValues(offsets, first, count, starts) ||
            !reader.ReadValues(counts, first, count, lengths)) {
            return false;
        }
        for (std::uint64_t index = 0; index < count; ++index) {
            if (starts[index] > size || lengths[index] > size - starts[index]) return false;
        }
    }
    return true;
}

}  // namespace

bool IsWholeGeoTiffOfOurs(const ReadAt& readAt, std::uint64_t size) {
    TiffReader reader(readAt, size);
    std::uint64_t firstDirectory = 0;
    if (!reader.ReadHeader(firstDirectory)) return false;
    const auto entries = reader.ReadDirectory(firstDirectory);
    if (!entries) return false;
    const Entry* mark = Find(*entries, software);
    const auto text = mark != nullptr ? reader.ReadText(*mark) : std::nullopt;
    if (!text || std::string_view(text->c_str()) != geoTiffSoftware) return false;
    const bool tiled = Find(*entries, tileOffsets) != nullptr;
    const Entry* offsets = Find(*entries, tiled ? tileOffsets : stripOffsets);
    const Entry* counts = Find(*entries, tiled ? tileByteCounts : stripByteCounts);
    return offsets != nullptr && counts != nullptr && HoldsAllPieces(reader, *offsets, *counts, size);
}

}  // namespace mdgridio
