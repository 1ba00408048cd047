// Header text shown back to the user in a message.
#pragma once

#include <string>
#include <string_view>

// The text with every byte outside printable ASCII written as \xHH (tab and
// CR as \t and \r) and a backslash as \\, so that a header cannot move the
// terminal's cursor, fake a line of output, or hide a stray byte (a
// non-breaking space before a number looks like a blank).
std::string PrintableText(std::string_view text);
