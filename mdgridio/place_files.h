// Small helpers over descriptors for judging and clearing grid places.
#pragma once

#include <sys/stat.h>

#include <string>
#include <utility>

#include "mdgridio/grid_places.h"

namespace mdgridio {

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int value = -1) : value(value) {}
    Descriptor(Descriptor&& other) noexcept : value(std::exchange(other.value, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();
    int Get() const { return value; }
    bool IsOpen() const { return value >= 0; }

private:
    int value;
};

// What is at leaf, a link itself rather than what it points to. False with
// errno set when nothing can be learnt.
bool LookAt(int folder, const std::string& leaf, struct stat& status);

bool SameFile(const struct stat& one, const struct stat& other);

// Removes the file or empty folder at leaf only while it is still `held`.
bool RemoveIfStill(int folder, const std::string& leaf, const struct stat& held, bool isFolder);

PlaceJudgement Judged(PlaceState state, std::string why = {});
PlaceJudgement InTheWay(const std::string& leaf, const std::string& why);
PlaceJudgement BeingWritten(const std::string& leaf);

}  // namespace mdgridio
