#include "batch/image_listing.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <system_error>

#include "platform/utf8_path.h"
#ifdef _WIN32
#include "platform/program_windows.h"
#endif

namespace fs = std::filesystem;

namespace {

// The base name of an image header, or empty for any other name.
std::string HeaderBase(const std::string& name) {
    constexpr std::string_view extension = ".doc";
    if (name.size() <= extension.size()) return {};
    const std::string_view tail = std::string_view(name).substr(name.size() - extension.size());
    const bool isHeader = std::equal(tail.begin(), tail.end(), extension.begin(), [](char given, char wanted) {
        return given == wanted || (wanted >= 'a' && wanted <= 'z' && given == wanted - 'a' + 'A');
    });
    return isHeader ? name.substr(0, name.size() - extension.size()) : std::string();
}

bool SameFolder(const fs::path& one, const std::optional<fs::path>& other) {
    std::error_code error;
    return other && fs::equivalent(one, *other, error);
}

void ListFolder(const fs::path& folder, const std::string& relative, const std::optional<fs::path>& skipped,
                std::set<std::string>& bases, ImageListing& listing) {
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::directory_entry& entry = *entries;
#ifdef _WIN32
        const std::string name = platform::NameInUtf8(entry.path().filename());
        if (name.empty()) {
            listing.unreadableFolders.push_back(platform::Utf8Of(folder) + ": a name that is no Unicode, left out");
            continue;
        }
        const bool link = platform::IsReparsePoint(entry.path());
#else
        const std::string name = entry.path().filename().string();
        const bool link = false;
#endif
        const std::string path = relative.empty() ? name : relative + "/" + name;
        std::error_code statusError;
        if (entry.is_directory(statusError) && !entry.is_symlink(statusError) && !link) {
            if (!SameFolder(entry.path(), skipped)) ListFolder(entry.path(), path, skipped, bases, listing);
            continue;
        }
        const std::string base = HeaderBase(name);
        if (!base.empty() && entry.is_regular_file(statusError))
            bases.insert(relative.empty() ? base : relative + "/" + base);
    }
    if (error)
        listing.unreadableFolders.push_back(platform::Utf8Of(folder) + ": cannot list the folder: " + error.message());
}

// 64-bit FNV-1a of the path's bytes: the same on every machine and every run.
std::uint64_t PathHash(std::string_view path) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const char byte : path) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3;
    }
    return hash;
}

}  // namespace

ImageListing ListImages(const fs::path& inDir, const std::optional<fs::path>& skipped) {
    ImageListing listing;
    std::set<std::string> bases;
    ListFolder(inDir, "", skipped, bases, listing);
    for (const std::string& base : bases) listing.images.push_back({base, {}});
    return listing;
}

void MarkClashes(std::vector<ListedImage>& images, const std::string& gridSuffix) {
    std::set<std::string> neededFolders;
    for (const ListedImage& image : images) {
        const std::string grid = image.relativeBase + gridSuffix;
        for (std::size_t slash = grid.find('/'); slash != std::string::npos; slash = grid.find('/', slash + 1))
            neededFolders.insert(grid.substr(0, slash));
    }
    for (ListedImage& image : images)
        if (neededFolders.contains(image.relativeBase + gridSuffix))
            image.clash = "the grid's name is also the folder of other images' grids";
}

std::vector<ListedImage> ShardOf(const std::vector<ListedImage>& images, unsigned index, unsigned count) {
    std::vector<ListedImage> shard;
    for (const ListedImage& image : images)
        if (PathHash(image.relativeBase) % count == index) shard.push_back(image);
    return shard;
}
