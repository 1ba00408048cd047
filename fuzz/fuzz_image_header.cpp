// Reads fuzzed header text and runs the header checks on what it gives;
// beside crashes, it checks that nothing after a Ctrl-Z is read.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <tuple>

#include "image/header_checks.h"
#include "image/image_header.h"

// Every field of the header read, the doubles by their bits so that NaN
// compares too, once the checks have run on it.
static auto ReadAndCheck(std::span<const std::byte> text) {
    MemoryByteSource source(text);
    const ImageHeader h = ReadImageHeader(source);
    RefuseImageHeader(h);
    const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    return std::tuple(h.dataType, h.fileType, h.columns, h.rows, bits(h.minX), bits(h.minY), bits(h.maxX),
                      bits(h.maxY), h.hasFlagValue, bits(h.flagValue), h.keysRead);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = std::as_bytes(std::span(data, size));
    const auto ctrlZ = std::find(text.begin(), text.end(), std::byte{0x1A});
    if (ReadAndCheck(text) == ReadAndCheck(text.first(std::size_t(ctrlZ - text.begin())))) return 0;
    std::fprintf(stderr, "invariant broken: text after Ctrl-Z was read\n");
    std::abort();
}
