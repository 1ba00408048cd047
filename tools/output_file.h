// A file written through one large buffer, so that images of billions of
// cells go out in few, large writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct OutputFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class OutputFile {
public:
    // Creates or empties `path` for writing in binary mode; see IsOpen().
    explicit OutputFile(const std::string& path);

    bool IsOpen() const { return file != nullptr; }
    void Append(const std::uint8_t* bytes, std::size_t count);
    // `count` copies of the `width` bytes at `element`.
    void AppendRepeated(const std::uint8_t* element, std::size_t width, std::int64_t count);
    // Writes out what is buffered and closes the file; false when any write
    // or the close failed. Without it the buffered end of the file is lost.
    bool Close();

private:
    void Flush();

    std::unique_ptr<std::FILE, OutputFileCloser> file;
    std::vector<std::uint8_t> buffer;
    std::size_t used = 0;
    bool failed = false;
};
