// The --log file, a line per image as each is settled.
#pragma once

#include <string>

class BatchLog {
public:
    BatchLog() = default;
    BatchLog(const BatchLog&) = delete;
    BatchLog& operator=(const BatchLog&) = delete;
    ~BatchLog();

    // Lines go after whatever the file holds: an earlier run's lines are
    // never lost, also when this run is killed before its first line. Empty
    // on success, else why not.
    std::string Open(const std::string& path);
    // Each line in one write of its own, so that a batch killed outright
    // keeps every line written before, and batches sharing a log never
    // interleave within a line. False once any line could not be written.
    bool Write(const std::string& line);
    bool Failed() const { return failed; }

private:
    int descriptor = -1;
    bool failed = false;
};
