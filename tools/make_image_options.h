// The command line of cellport-make-image.
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "tools/image_description.h"
#include "tools/image_patterns.h"

struct MakeImageOptions {
    ImageDescription description;
    PatternSettings pattern;
    std::string base;
};

enum class ParseOutcome { Ready, HelpWanted, Invalid };

struct ParsedCommandLine {
    ParseOutcome outcome = ParseOutcome::Invalid;
    MakeImageOptions options;
    // Why the command line is invalid.
    std::string problem;
};

// `arguments` without the program name.
ParsedCommandLine ParseMakeImageCommandLine(std::span<const char* const> arguments);

void PrintMakeImageUsage(std::FILE* stream);
