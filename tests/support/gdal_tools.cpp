#include "support/gdal_tools.h"

#include <unistd.h>

#include <sstream>

std::string FindProgram(const std::string& name) {
    std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string path = folder + "/" + name;
        if (!folder.empty() && access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}
