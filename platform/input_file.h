// Opening the image's two files for reading.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace platform {

// Closes the stream; the buffer it read through, if it has one of its own,
// goes only after it.
struct FileCloser {
    std::unique_ptr<char[]> buffer;
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for reading in binary mode; empty when it cannot be opened or
// is a folder (which some platforms would open and then read as empty). A
// file that does not exist is also looked for with its extension in upper
// case, then with its extension in any letter case.
InputFile OpenInputFile(const char* path);

// The same, read through a buffer of `bufferBytes` (the system's own when
// that much cannot be had), so that many small reads cost few system calls.
InputFile OpenInputFile(const char* path, std::size_t bufferBytes);

}  // namespace platform
