// Runs a fuzz target, without libFuzzer, once on each file named and on each
// file in each folder named, so that its seed corpus is an ordinary test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int arg = 1; arg < argc; ++arg) {
        if (!std::filesystem::is_directory(argv[arg])) {
            inputs.emplace_back(argv[arg]);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argv[arg]))
            inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& input : inputs) {
        // Named first, so that a crash names the input that caused it.
        std::fprintf(stderr, "%s\n", input.string().c_str());
        std::ifstream file(input, std::ios::binary);
        if (!file) return 1;
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    // No input at all is a mistake in how the test was set up.
    return inputs.empty() ? 1 : 0;
}
