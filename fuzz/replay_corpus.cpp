// Runs a fuzz target once on each file named, without libFuzzer, so that
// its seed corpus is an ordinary test.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    for (int arg = 1; arg < argc; ++arg) {
        std::fprintf(stderr, "%s\n", argv[arg]);  // a crash names its input
        std::ifstream file(argv[arg], std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        if (!file) return 1;
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    return argc > 1 ? 0 : 1;
}
