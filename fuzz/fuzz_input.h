// Takes the leading bytes of a fuzz input as parameters; an input that runs
// out reads as zeros, so every input is a valid case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class FuzzInput {
public:
    explicit FuzzInput(std::span<const std::byte> bytes) : rest(bytes) {}

    template <typename Value>
    Value Take() {
        unsigned char raw[sizeof(Value)] = {};
        const std::size_t count = rest.size() < sizeof raw ? rest.size() : sizeof raw;
        if (count > 0) std::memcpy(raw, rest.data(), count);
        rest = rest.subspan(count);
        Value value;
        std::memcpy(&value, raw, sizeof value);
        return value;
    }

    std::span<const std::byte> Rest() const { return rest; }

private:
    std::span<const std::byte> rest;
};
