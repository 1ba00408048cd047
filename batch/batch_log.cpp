#include "batch/batch_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platform/windows_text.h"
#endif

BatchLog::~BatchLog() {
    if (descriptor >= 0) close(descriptor);
}

std::string BatchLog::Open(const std::string& path) {
#ifdef _WIN32
    // Appending access alone puts every write at the end, also beside another
    // batch's; the handle is not inherited by the converters.
    const HANDLE file = CreateFileW(platform::Utf16(path).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "Windows error " + std::to_string(GetLastError());
    descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) CloseHandle(file);
#else
    // A FIFO without a reader would block the open for good, with the
    // interrupts held back: refused at once instead.
    descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
    if (descriptor >= 0) fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
#endif
    return descriptor < 0 ? std::strerror(errno) : std::string();
}

bool BatchLog::Write(const std::string& line) {
    if (descriptor < 0 || failed) return !failed;
    for (std::size_t written = 0; written < line.size();) {
        const ssize_t count = write(descriptor, line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return !(failed = true);
        written += static_cast<std::size_t>(count);
    }
    return true;
}
