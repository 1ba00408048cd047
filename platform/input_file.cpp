#include "platform/input_file.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <new>
#include <string>
#include <utility>

#include "platform/case_insensitive_name.h"
#include "platform/waiting_input.h"

namespace platform {

namespace {

InputFile OpenExactly(const char* path) {
    InputFile file(OpenWithoutWaiting(path));
    if (!file) return file;
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) file.reset();
    return file;
}

std::string WithUpperCaseExtension(std::string path) {
    const std::size_t dot = path.find_last_of('.');
    for (std::size_t at = dot + 1; dot != std::string::npos && at < path.size(); ++at)
        path[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[at])));
    return path;
}

}  // namespace

InputFile OpenInputFile(const char* path) {
    errno = 0;
    InputFile file = OpenExactly(path);
    // Images from systems that ignore case often come as LANDUSE.DOC and
    // LANDUSE.IMG; there they would be found whatever the case.
    if (!file && errno == ENOENT) file = OpenExactly(WithUpperCaseExtension(path).c_str());
    if (!file && errno == ENOENT) {
        const std::string found = FindFileIgnoringExtensionCase(path);
        if (!found.empty()) file = OpenExactly(found.c_str());
    }
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
