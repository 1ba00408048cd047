// The two files a GeoTIFF grid is made of while it is written: an empty
// placeholder that takes the grid's name, locked (grid_lock.h) until the
// grid is put in place or removed, and a temporary file beside it for the
// cells (geotiff/temporary_name.h). Both are reached only through the folder they were made in,
// held open, and are recognised by their identity, so that a file someone
// else puts under either name is never written over, renamed or removed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mdgridio {

// A file held open, so that its identity cannot pass to another file, even
// after someone removes it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    int descriptor = -1;
};

class TakenName {
public:
    TakenName() = default;
    TakenName(TakenName&& other) noexcept;
    TakenName& operator=(TakenName&&) = delete;
    TakenName(const TakenName&) = delete;
    TakenName& operator=(const TakenName&) = delete;
    // Removes the temporary, then the placeholder, unless the grid was put in place.
    ~TakenName();

    // A path that opens the temporary itself, whatever its name holds by then.
    std::string TemporaryPath() const;
    // Makes the temporary's contents durable, then renames it over the
    // placeholder when both are still the files made here. The finished
    // file stays held by the caller.
    std::optional<FileIdentity> PutInPlace();
    // A file without a name, in the temporary's folder (or else the system's
    // temporary folder), gone once closed whatever happens to the run; -1
    // on failure.
    int OpenScratch() const;

private:
    friend std::optional<TakenName> TakeName(const std::string& path);
    int folder = -1;
    std::string leaf;
    std::string temporaryLeaf;
    FileIdentity placeholder;
    FileIdentity temporary;
};

// Creates the placeholder, then the temporary, each only where nothing
// exists yet. Empty on failure, leaving nothing behind.
std::optional<TakenName> TakeName(const std::string& path);

// Removes the file at path only when it is still the file of that identity,
// and then lets go of it.
bool RemoveFileIfStill(const std::string& path, FileIdentity& identity);

}  // namespace mdgridio
