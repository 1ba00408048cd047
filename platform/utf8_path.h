// Paths from and to the UTF-8 names a batch keeps. On Windows the standard
// library's own narrow conversions use neither UTF-8 nor the ANSI code page;
// on POSIX systems these copy the bytes as they are.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

inline std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

}  // namespace platform
