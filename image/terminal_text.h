// Names and messages on the batch's terminal lines.
#pragma once

#include <string>
#include <string_view>

// The text with valid UTF-8 shown as it is, so that names in any script read
// as themselves, while every control character (C0, DEL and the C1 range
// U+0080 to U+009F, tab and CR as \t and \r) and every byte of invalid UTF-8
// is written as \xHH and a backslash as \\ (on Windows, where it separates
// folders, as itself): a name cannot move the cursor, fake a line, or hide
// a stray byte.
std::string TerminalText(std::string_view text);
