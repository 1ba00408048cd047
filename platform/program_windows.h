// What cellport-batch needs of Windows for itself: its arguments and its own
// path as they are (not as the ANSI code page shows them), its folder walk,
// and a console that can show a line rewritten in place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// The command line as UTF-8 arguments, the program's name first.
std::vector<std::string> Utf8Arguments();

std::filesystem::path OwnProgram();

// True when standard error is a console, which now takes UTF-8 until the
// program exits.
bool PrepareProgressConsole();

// A name as UTF-8; empty when it holds a lone surrogate, which UTF-8 cannot
// carry.
std::string NameInUtf8(const std::filesystem::path& name);

// A link or junction: a folder walk does not follow it.
bool IsReparsePoint(const std::filesystem::path& path);

}  // namespace platform
