// Finding a file whose extension was written in another letter case.
#pragma once

#include <string>

namespace platform {

// The path of the one file in the folder of `path` whose name is the name in
// `path` with its extension in any letter case (`Landuse.Img` for
// `Landuse.img`); the rest of the name must match exactly. Empty when there
// is none, or several, which would leave the choice to the order of the
// folder's listing. Where the file system ignores case, always empty: the
// plain open has already found any such file.
std::string FindFileIgnoringExtensionCase(const std::string& path);

}  // namespace platform
