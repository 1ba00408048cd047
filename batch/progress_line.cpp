#include "batch/progress_line.h"

#include <cstdio>

namespace {

constexpr auto redrawEvery = std::chrono::milliseconds(200);
// Back to the line's start, and erase to its end.
constexpr const char* startOfLine = "\r\033[K";

std::string Duration(long long seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

ProgressLine::ProgressLine(bool shown) : shown(shown) {}

void ProgressLine::Update(std::size_t done, std::size_t total, std::size_t failed, bool now) {
    const Clock::time_point at = Clock::now();
    if (!shown || (!now && at - lastDrawn < redrawEvery)) return;
    lastDrawn = at;
    const double elapsed = std::chrono::duration<double>(at - start).count();
    last = std::to_string(done) + "/" + std::to_string(total) + " done, " + std::to_string(failed) + " failed, " +
           Duration(static_cast<long long>(elapsed)) + " elapsed";
    if (done > 0 && done < total)
        last += ", about " + Duration(static_cast<long long>(elapsed / done * (total - done) + 0.5)) + " left";
    std::fprintf(stderr, "%s%s", startOfLine, last.c_str());
    std::fflush(stderr);
    drawn = true;
}

void ProgressLine::PrintAbove(const std::string& line) {
    if (drawn) std::fputs(startOfLine, stderr);
    std::fputs(line.c_str(), stderr);
    if (drawn) std::fputs(last.c_str(), stderr);
    std::fflush(stderr);
}

void ProgressLine::Clear() {
    if (drawn) std::fputs(startOfLine, stderr);
    drawn = false;
    std::fflush(stderr);
}
