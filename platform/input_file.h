// Opening the image's two files for reading.
#pragma once

#include <cstdio>
#include <memory>

namespace platform {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for reading in binary mode; empty when it cannot be opened or
// is a folder (which some platforms would open and then read as empty).
InputFile OpenInputFile(const char* path);

}  // namespace platform
