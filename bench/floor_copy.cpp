// The least any converter of an image must do: read the image data file once,
// front to back, and write a file the grid's size, both in large blocks. The
// benchmark measures cellport against this program's time.
//
//   floor_copy IN_FILE OUT_FILE OUT_BYTES
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The fastest of 64 KiB, 256 KiB, 1 MiB and 4 MiB measured on tmpfs.
constexpr std::size_t blockBytes = std::size_t{256} << 10;

struct Streams {
    int input = -1;
    int output = -1;
    std::int64_t inputBytes = 0;
    std::int64_t outputBytes = 0;
};

bool WriteAll(int descriptor, const std::byte* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(descriptor, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Output keeps pace with input, as a converter's does, so that neither is
// done in one burst the other never sees.
std::int64_t OutputDueAfter(const Streams& streams, std::int64_t inputDone) {
    if (streams.inputBytes == 0) return streams.outputBytes;
    return static_cast<std::int64_t>(static_cast<double>(streams.outputBytes) *
                                     static_cast<double>(inputDone) /
                                     static_cast<double>(streams.inputBytes));
}

bool WriteUpTo(const Streams& streams, const std::vector<std::byte>& block,
               std::int64_t& outputDone, std::int64_t target) {
    while (outputDone < target) {
        const auto part = static_cast<std::size_t>(
            std::min<std::int64_t>(target - outputDone, static_cast<std::int64_t>(block.size())));
        if (!WriteAll(streams.output, block.data(), part)) return false;
        outputDone += static_cast<std::int64_t>(part);
    }
    return true;
}

bool Copy(const Streams& streams) {
    std::vector<std::byte> inputBlock(blockBytes);
    std::vector<std::byte> outputBlock(blockBytes);
    std::int64_t inputDone = 0;
    std::int64_t outputDone = 0;
    for (;;) {
        const ssize_t got = read(streams.input, inputBlock.data(), inputBlock.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        inputDone += got;
        // Something of what was read goes out, so the reading cannot be idle.
        outputBlock[static_cast<std::size_t>(inputDone) % blockBytes] = inputBlock[0];
        if (!WriteUpTo(streams, outputBlock, outputDone, OutputDueAfter(streams, inputDone)))
            return false;
    }
    return WriteUpTo(streams, outputBlock, outputDone, streams.outputBytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: floor_copy IN_FILE OUT_FILE OUT_BYTES\n");
        return 2;
    }
    Streams streams;
    streams.outputBytes = std::strtoll(argv[3], nullptr, 10);
    streams.input = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (streams.input < 0 || streams.outputBytes < 0) {
        std::fprintf(stderr, "floor_copy: cannot read %s\n", argv[1]);
        return 1;
    }
    streams.inputBytes = lseek(streams.input, 0, SEEK_END);
    lseek(streams.input, 0, SEEK_SET);
    streams.output = open(argv[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (streams.output < 0) {
        std::fprintf(stderr, "floor_copy: cannot create %s\n", argv[2]);
        return 1;
    }
    const bool copied = Copy(streams);
    if (close(streams.output) != 0 || !copied) {
        std::fprintf(stderr, "floor_copy: writing %s failed\n", argv[2]);
        return 1;
    }
    return 0;
}
