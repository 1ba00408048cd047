#include "platform/case_insensitive_name.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string_view>
#endif

namespace platform {

#ifdef _WIN32

std::string FindFileIgnoringExtensionCase(const std::string&) { return {}; }

#else

namespace {

struct FolderCloser {
    void operator()(DIR* folder) const { closedir(folder); }
};

char LowerCase(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

bool EqualIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t at = 0; at < left.size(); ++at)
        if (LowerCase(left[at]) != LowerCase(right[at])) return false;
    return true;
}

// A folder or a broken link of that name is no image file to choose.
bool IsFileToOpen(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace

std::string FindFileIgnoringExtensionCase(const std::string& path) {
    const std::size_t nameStart = path.find_last_of('/') + 1;
    const std::string folder = path.substr(0, nameStart);
    const std::string_view name = std::string_view(path).substr(nameStart);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return {};
    const std::string_view stem = name.substr(0, dot + 1), extension = name.substr(dot + 1);

    const std::unique_ptr<DIR, FolderCloser> listing(opendir(folder.empty() ? "." : folder.c_str()));
    if (!listing) return {};
    std::string found;
    int matches = 0;
    while (const dirent* entry = readdir(listing.get())) {
        const std::string_view candidate = entry->d_name;
        if (candidate.size() != name.size() || !candidate.starts_with(stem)) continue;
        if (!EqualIgnoringCase(candidate.substr(stem.size()), extension)) continue;
        const std::string candidatePath = folder + std::string(candidate);
        if (!IsFileToOpen(candidatePath)) continue;
        found = candidatePath;
        ++matches;
    }
    return matches == 1 ? found : std::string();
}

#endif

}  // namespace platform
