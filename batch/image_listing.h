// Which images a batch holds, and which of their grids clash before any
// conversion.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct ListedImage {
    std::string relativeBase;  // "2020/jan" for IN_DIR/2020/jan.doc
    std::string clash;         // empty, or why its grid cannot be made
};

struct ImageListing {
    std::vector<ListedImage> images;  // in byte order of relativeBase
    std::vector<std::string> unreadableFolders;  // each with the reason
};

// Every regular file (or link to one) under inDir whose name is a non-empty
// base and ".doc" in any letter case; x.doc and x.DOC are one image. Links to
// folders are not followed; `skipped`, a folder inside inDir, is left out.
ImageListing ListImages(const std::filesystem::path& inDir, const std::optional<std::filesystem::path>& skipped);

// Marks each image whose grid would be a folder that other images' grids
// need ("2020.doc" beside "2020/jan.doc").
void MarkClashes(std::vector<ListedImage>& images, const std::string& gridSuffix);

// The images whose relativeBase hashes to `index` modulo `count` (64-bit
// FNV-1a of its bytes), so that shards agree whatever else each one's
// listing holds.
std::vector<ListedImage> ShardOf(const std::vector<ListedImage>& images, unsigned index, unsigned count);
