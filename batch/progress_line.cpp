#include "batch/progress_line.h"

#include <cstdio>

namespace {

constexpr auto redrawEvery = std::chrono::milliseconds(200);
#ifdef _WIN32
// Not every Windows console takes escape sequences: back to the line's
// start over blanks on what was drawn.
std::string StartOfLine(std::size_t drawnLength) {
    std::string blanked(drawnLength + 2, ' ');
    blanked.front() = blanked.back() = '\r';
    return blanked;
}
#else
// Back to the line's start, and erase to its end.
std::string StartOfLine(std::size_t) { return "\r\033[K"; }
#endif

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
    const std::string startOfLine = StartOfLine(drawn ? last.size() : 0);
    last = std::to_string(done) + "/" + std::to_string(total) + " done, " + std::to_string(failed) + " failed, " +
           Duration(static_cast<long long>(elapsed)) + " elapsed";
    if (done > 0 && done < total)
        last += ", about " + Duration(static_cast<long long>(elapsed / done * (total - done) + 0.5)) + " left";
    std::fprintf(stderr, "%s%s", startOfLine.c_str(), last.c_str());
    std::fflush(stderr);
    drawn = true;
}

void ProgressLine::PrintAbove(const std::string& line) {
    if (drawn) std::fputs(StartOfLine(last.size()).c_str(), stderr);
    std::fputs(line.c_str(), stderr);
    if (drawn) std::fputs(last.c_str(), stderr);
    std::fflush(stderr);
}

void ProgressLine::Clear() {
    if (drawn) std::fputs(StartOfLine(last.size()).c_str(), stderr);
    drawn = false;
    std::fflush(stderr);
}
