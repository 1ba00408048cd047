#include "platform/input_file.h"

#include <sys/stat.h>

#include <new>
#include <utility>

namespace platform {

InputFile OpenInputFile(const char* path) {
    InputFile file(std::fopen(path, "rb"));
    if (!file) return file;
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) file.reset();
    return file;
}

InputFile OpenInputFile(const char* path, std::size_t bufferBytes) {
    InputFile file = OpenInputFile(path);
    if (!file || bufferBytes == 0) return file;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferBytes]);
    if (buffer && std::setvbuf(file.get(), buffer.get(), _IOFBF, bufferBytes) == 0)
        file.get_deleter().buffer = std::move(buffer);
    return file;
}

}  // namespace platform
