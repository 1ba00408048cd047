// Reads fuzzed header files and runs the header checks on what they give;
// beside crashes it checks what must hold of any header, whatever its text.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "image/byte_source.h"
#include "image/header_checks.h"
#include "image/image_header.h"

namespace {

constexpr std::byte ctrlZ{0x1A};

ImageHeader ReadHeader(std::span<const std::byte> bytes) {
    MemoryByteSource source(bytes);
    return ReadImageHeader(source);
}

bool SameBits(double left, double right) {
    return std::bit_cast<std::uint64_t>(left) == std::bit_cast<std::uint64_t>(right);
}

bool SameHeader(const ImageHeader& left, const ImageHeader& right) {
    return left.dataType == right.dataType && left.fileType == right.fileType &&
           left.columns == right.columns && left.rows == right.rows &&
           SameBits(left.minX, right.minX) && SameBits(left.minY, right.minY) &&
           SameBits(left.maxX, right.maxX) && SameBits(left.maxY, right.maxY) &&
           left.hasFlagValue == right.hasFlagValue && SameBits(left.flagValue, right.flagValue) &&
           left.keysRead == right.keysRead;
}

// Fields keep their defaults unless their key had a line.
void CheckFields(const ImageHeader& header) {
    Require(header.dataType >= DataType::None && header.dataType <= DataType::Real,
            "data type out of range");
    Require(header.fileType >= FileType::None && header.fileType <= FileType::PackedBinary,
            "file type out of range");
    Require(header.HasLineFor(HeaderKey::DataType) || header.dataType == DataType::None,
            "data type set without its line");
    Require(header.HasLineFor(HeaderKey::Columns) || header.columns == 0,
            "columns set without their line");
    Require(header.HasLineFor(HeaderKey::FlagValue) || !header.hasFlagValue,
            "flag value set without its line");
}

// An accepted header must be one the data reader and the grid can use.
void CheckAccepted(const ImageHeader& header) {
    Require(header.columns >= 1 && header.rows >= 1, "accepted an empty image");
    Require(header.dataType != DataType::None, "accepted no data type");
    Require(header.fileType == FileType::Binary || header.fileType == FileType::PackedBinary,
            "accepted an unreadable file type");
    Require(header.fileType != FileType::PackedBinary || header.dataType != DataType::Real,
            "accepted a packed real image");
    for (HeaderKey key : {HeaderKey::Columns, HeaderKey::Rows, HeaderKey::MinX, HeaderKey::MinY,
                          HeaderKey::MaxX, HeaderKey::MaxY})
        Require(header.HasLineFor(key), "accepted a header without its size or extent");
    Require(HasEqualResolution(header), "accepted unequal resolutions");
}

// Nothing after a Ctrl-Z is read.
void CheckEndOfText(std::span<const std::byte> bytes, const ImageHeader& header) {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] != ctrlZ) continue;
        Require(SameHeader(header, ReadHeader(bytes.first(at))), "text after Ctrl-Z was read");
        return;
    }
}

// Whatever came before, a key line that starts after a newline is read.
void CheckAppendedLine(std::span<const std::byte> bytes) {
    for (std::byte byte : bytes)
        if (byte == ctrlZ) return;
    constexpr std::string_view line = "\ncolumns : 4321\n";
    std::vector<std::byte> extended(bytes.begin(), bytes.end());
    for (char character : line) extended.push_back(static_cast<std::byte>(character));
    const ImageHeader header = ReadHeader(extended);
    Require(header.columns == 4321 && header.HasLineFor(HeaderKey::Columns),
            "a key line after the text was not read");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Refusals go to stdout; keep libFuzzer's own output legible.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = std::as_bytes(std::span(data, size));
    const ImageHeader header = ReadHeader(bytes);
    CheckFields(header);
    static_cast<void>(CellSize(header));
    static_cast<void>(HasEqualResolution(header));
    if (!RefuseImageHeader(header)) CheckAccepted(header);
    CheckEndOfText(bytes, header);
    CheckAppendedLine(bytes);
    return 0;
}
