// What a batch tells about each image: a line on standard error for each
// failure, a line in the log for every image, a summary at the end.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class Outcome { Converted, Kept, Failed };

struct ImageResult {
    std::string base;  // as the converter is given it
    std::string grid;
    Outcome outcome = Outcome::Failed;
    std::optional<int> exitStatus;  // only when the converter ran
    std::string message;            // its lines joined, or the batch's own
};

struct Tally {
    std::size_t converted = 0, kept = 0, failed = 0, notStarted = 0;
};

// Tabs, newlines and backslashes as \t, \n and \\, so that a line is a line
// whatever the names hold.
std::string EscapeField(std::string_view text);

// The converter's message lines joined by " / ".
std::string JoinLines(std::string_view output);

// "IMAGE: status N: MESSAGE", or "IMAGE: MESSAGE" when the batch itself
// failed the image; with a newline. For a terminal: control bytes in names
// and messages are escaped, so that none can move the cursor or fake a line.
std::string FailureLine(const ImageResult& result);

// base, grid, outcome, exit status, message, tab-separated; with a newline.
std::string LogLine(const ImageResult& result);

std::string SummaryLine(const Tally& tally, bool interrupted);
