// The command line of cellport-make-image.
#pragma once

#include <string>

#include "tools/image_description.h"
#include "tools/image_patterns.h"

struct MakeImageOptions {
    ImageDescription description;
    PatternSettings pattern;
    std::string base;
};

enum class ParseOutcome { Ready, HelpShown, Invalid };

struct ParsedCommandLine {
    ParseOutcome outcome = ParseOutcome::Invalid;
    MakeImageOptions options;
};

// Prints the help, or what is wrong with the command line, itself.
ParsedCommandLine ParseMakeImageCommandLine(int argc, const char* const* argv);
