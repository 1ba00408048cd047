// A folder held open: names inside it are looked up from it (on Windows by
// its path as the held handle names it), never by walking a path again.
#pragma once

#include <string>
#include <utility>

#include "mdgridio/grid_places.h"

class HeldFolder {
public:
    HeldFolder() = default;
    explicit HeldFolder(mdgridio::FolderHandle handle) : handle(handle) {}
    HeldFolder(HeldFolder&& other) noexcept : handle(std::exchange(other.handle, mdgridio::noFolder)) {}
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();
    mdgridio::FolderHandle Get() const { return handle; }
    bool IsHeld() const { return handle != mdgridio::noFolder; }

private:
    mdgridio::FolderHandle handle = mdgridio::noFolder;
};

// The folder at that path (a link to one is followed), held; or why not.
HeldFolder HoldFolder(const std::string& path, std::string& failure);

// The folder `name` inside `parent`, made when missing and `make`; a link or
// anything else there is in the way. `path` names it in messages.
HeldFolder HoldSubfolder(mdgridio::FolderHandle parent, const std::string& name, const std::string& path, bool make,
                         std::string& failure);
