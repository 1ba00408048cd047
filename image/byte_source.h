// Where the image readers take their bytes from: the run's open file, or
// memory (tests, fuzzers), through the very same reading code.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `count` elements of `elementSize` bytes into `into` and
    // returns how many whole elements arrived, as a standard block read does.
    virtual std::size_t ReadElements(void* into, std::size_t elementSize, std::size_t count) = 0;
    // True once the user has asked the run to stop; a read may then have
    // been cut short.
    virtual bool Interrupted() const { return false; }
};

// Regular files through the stream's buffer; inputs that may keep the run
// waiting (FIFOs, pipes, terminals) as their data arrives, so that an
// interruption always ends the wait.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(std::FILE* file);
    std::size_t ReadElements(void* into, std::size_t elementSize, std::size_t count) override;
    bool Interrupted() const override;

private:
    std::FILE* file;
    bool mayWait;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::byte> bytes) : rest(bytes) {}
    std::size_t ReadElements(void* into, std::size_t elementSize, std::size_t count) override;

private:
    std::span<const std::byte> rest;
};
