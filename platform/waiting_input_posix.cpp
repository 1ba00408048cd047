#include "platform/waiting_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/interrupt_signals.h"
#include "platform/interrupt_wakeup.h"

namespace platform {

namespace {

bool NeverWaits(const struct stat& status) {
    return S_ISREG(status.st_mode) || S_ISBLK(status.st_mode) || S_ISDIR(status.st_mode);
}

// Waits until the input has something to say (data, its end, an error);
// false once the run is interrupted, or when the wait itself fails. Without
// the self-pipe, the flag is looked at now and then.
bool InputReady(int descriptor) {
    const int wakeup = InterruptWakeupDescriptor();
    for (;;) {
        if (InterruptRequested()) return false;
        pollfd watched[2] = {{descriptor, POLLIN, 0}, {wakeup, POLLIN, 0}};
        const int ready = poll(watched, 2, wakeup < 0 ? 100 : -1);
        if (ready < 0 && errno != EINTR) return false;
        if (watched[1].revents != 0) return false;
        if (ready > 0 && watched[0].revents != 0) return true;
    }
}

}  // namespace

// Non-blocking, so that a FIFO with no writer opens at once; a FIFO's first
// poll then waits for a writer's data or its closing.
std::FILE* OpenWithoutWaiting(const char* path) {
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && NeverWaits(status))
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(descriptor, "rb");
    if (file == nullptr) {
        const int fdopenErrno = errno;
        close(descriptor);
        errno = fdopenErrno;
    }
    return file;
}

bool MayWait(std::FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && !NeverWaits(status);
}

std::size_t ReadAsDataArrives(std::FILE* file, void* into, std::size_t bytes) {
    const int descriptor = fileno(file);
    auto* next = static_cast<char*>(into);
    std::size_t arrived = 0;
    while (arrived < bytes && InputReady(descriptor)) {
        const ssize_t got = read(descriptor, next + arrived, bytes - arrived);
        if (got > 0) {
            arrived += static_cast<std::size_t>(got);
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            break;
        }
    }
    return arrived;
}

}  // namespace platform
