#include "support/scratch_folder.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

ScratchFolder::ScratchFolder() {
    static std::mt19937_64 names(std::random_device{}() ^
                                 std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("cellport-test-" + std::to_string(names()));
        if (std::filesystem::create_directory(candidate)) path = candidate;
    }
    if (path.empty()) throw std::runtime_error("cannot make a scratch folder");
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
