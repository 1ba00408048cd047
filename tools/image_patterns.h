// The made-up cell values of test, benchmark and example images. Every
// pattern is a pure function of its settings and seed, the same on every
// platform, and is made row by row or run by run.
#pragma once

#include <cstdint>
#include <string>

#include "tools/image_description.h"
#include "tools/image_writer.h"

enum class Pattern { Gradient, Runs, Noise, Patches };

struct PatternSettings {
    Pattern pattern = Pattern::Gradient;
    // Cell values lie within [low, high]; flagged cells aside.
    double low = 0;
    double high = 255;
    // Runs are 1 to this many cells long; patches about this many cells wide.
    std::int64_t longestRun = 2000;
    std::uint64_t seed = 1;
};

// With a flag value, about one cell in 50 (one run in 16) is flagged, and
// made-up values that would read as flagged are moved off the flag value.
WriteStatus WritePatternImage(const std::string& base, const ImageDescription& description,
                              const PatternSettings& settings);
