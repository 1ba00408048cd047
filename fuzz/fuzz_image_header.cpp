// Reads fuzzed header text and runs the header checks on what it gives;
// beside crashes, it checks that nothing after a Ctrl-Z is read, that a
// byte-order mark before the text changes nothing, and that a value shown in
// a message holds nothing a terminal would act on.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "image/header_checks.h"
#include "image/image_header.h"
#include "image/printable_text.h"

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void Broken(const char* invariant) {
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

bool IsPrintable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// Every field of the header read, the doubles by their bits so that NaN
// compares too, once the checks have run on it.
auto ReadAndCheck(std::span<const std::byte> text) {
    MemoryByteSource source(text);
    const ImageHeader h = ReadImageHeader(source);
    RefuseImageHeader(h);
    for (const UnreadNumber& unread : h.unreadNumbers)
        if (!IsPrintable(PrintableText(unread.value))) Broken("a value is shown with bytes that are not printable");
    const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    return std::tuple(h.dataType, h.fileType, h.columns, h.rows, bits(h.minX), bits(h.minY), bits(h.maxX),
                      bits(h.maxY), h.hasFlagValue, bits(h.flagValue), h.keysRead, h.unreadNumbers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = std::as_bytes(std::span(data, size));
    const auto read = ReadAndCheck(text);
    const auto ctrlZ = std::find(text.begin(), text.end(), std::byte{0x1A});
    if (read != ReadAndCheck(text.first(std::size_t(ctrlZ - text.begin()))))
        Broken("text after Ctrl-Z was read");
    const std::string_view characters(reinterpret_cast<const char*>(data), size);
    if (characters.starts_with(byteOrderMark)) return 0;
    std::vector<std::byte> marked(byteOrderMark.size());
    std::copy_n(reinterpret_cast<const std::byte*>(byteOrderMark.data()), marked.size(), marked.begin());
    marked.insert(marked.end(), text.begin(), text.end());
    if (read != ReadAndCheck(marked)) Broken("a byte-order mark before the text changed what was read");
    return 0;
}
