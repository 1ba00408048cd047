// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ScratchFolder {
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return path; }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
    std::filesystem::path path;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
// Everything below the folder, as sorted paths relative to it.
std::vector<std::string> FolderListing(const std::filesystem::path& folder);
