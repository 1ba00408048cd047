// Reads fuzzed header text and runs the header checks on what it gives;
// beside crashes, it checks that nothing after a Ctrl-Z is read.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <tuple>

#include "image/byte_source.h"
#include "image/header_checks.h"
#include "image/image_header.h"

namespace {

ImageHeader ReadHeader(std::span<const std::byte> bytes) {
    MemoryByteSource source(bytes);
    return ReadImageHeader(source);
}

// Every field, the doubles by their bits so that NaN compares too.
auto Fields(const ImageHeader& h) {
    const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    return std::tuple(h.dataType, h.fileType, h.columns, h.rows, bits(h.minX), bits(h.minY),
                      bits(h.maxX), bits(h.maxY), h.hasFlagValue, bits(h.flagValue), h.keysRead);
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
    static_cast<void>(CellSize(header));
    static_cast<void>(HasEqualResolution(header));
    static_cast<void>(RefuseImageHeader(header));
    const auto ctrlZ = std::find(bytes.begin(), bytes.end(), std::byte{0x1A});
    const auto beforeCtrlZ = bytes.first(std::size_t(ctrlZ - bytes.begin()));
    if (ctrlZ != bytes.end() && Fields(header) != Fields(ReadHeader(beforeCtrlZ))) {
        std::fprintf(stderr, "invariant broken: text after Ctrl-Z was read\n");
        std::abort();
    }
    return 0;
}
