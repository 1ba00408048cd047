#include "support/scratch_folder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>

// No mkdtemp: names from the process id and a count, each made only if new.
ScratchFolder::ScratchFolder() {
    static unsigned made = 0;
    const std::string prefix = "cellport-test-" + std::to_string(_getpid()) + "-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / (prefix + std::to_string(made++));
        if (std::filesystem::create_directory(candidate)) {
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}
#else
ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cellport-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
    path = pattern;
}
#endif

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
