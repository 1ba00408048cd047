// Input that may keep a run waiting: a FIFO without a writer yet, a pipe or
// a terminal that is slow to deliver. Such a wait must end when the user
// interrupts the run, whenever the signal comes.
#pragma once

#include <cstddef>
#include <cstdio>

namespace platform {

// Opens a file for reading in binary mode without waiting for a FIFO's
// writer; null when it cannot be opened, with errno telling why.
std::FILE* OpenWithoutWaiting(const char* path);

// False for regular files and disks, which never keep a reader waiting and
// are read through the stream's buffer.
bool MayWait(std::FILE* file);

// Reads up to `bytes` bytes of a file that may wait, straight from its
// descriptor, as data arrives. Returns fewer at its end, on an error, or once
// the run has been interrupted.
std::size_t ReadAsDataArrives(std::FILE* file, void* into, std::size_t bytes);

}  // namespace platform
