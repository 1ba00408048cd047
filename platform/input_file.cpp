#include "platform/input_file.h"

#include <sys/stat.h>

namespace platform {

InputFile OpenInputFile(const char* path) {
    InputFile file(std::fopen(path, "rb"));
    if (!file) return file;
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) file.reset();
    return file;
}

}  // namespace platform
