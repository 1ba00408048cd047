#include "batch/batch_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

BatchLog::~BatchLog() {
    if (descriptor >= 0) close(descriptor);
}

std::string BatchLog::Open(const std::string& path) {
    descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
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
