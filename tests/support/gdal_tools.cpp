#include "support/gdal_tools.h"

#include <unistd.h>

#include <sstream>

// Windows has no execute permission: there the suffix marks a program.
#ifdef _WIN32
constexpr char pathListSeparator = ';';
constexpr const char* programSuffix = ".exe";
constexpr int runnable = F_OK;
#else
constexpr char pathListSeparator = ':';
constexpr const char* programSuffix = "";
constexpr int runnable = X_OK;
#endif

std::string FindProgram(const std::string& name) {
    std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(folders, folder, pathListSeparator);) {
        const std::string path = folder + "/" + name + programSuffix;
        if (!folder.empty() && access(path.c_str(), runnable) == 0) return path;
    }
    return {};
}
