// A line on a terminal that shows how far a batch is, rewritten in place.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

class ProgressLine {
public:
    explicit ProgressLine(bool shown);
    bool Shown() const { return shown; }
    // Redraws at most a few times a second, unless `now`.
    void Update(std::size_t done, std::size_t total, std::size_t failed, bool now);
    // Prints a line of its own above the progress line.
    void PrintAbove(const std::string& line);
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    bool shown;
    bool drawn = false;
    Clock::time_point start = Clock::now();
    Clock::time_point lastDrawn{};
    std::string last;
};
