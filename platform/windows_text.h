// Names move between the batch, which keeps them in UTF-8, and Windows'
// wide calls, which take UTF-16.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Empty when the text is not valid UTF-8.
std::wstring Utf16(std::string_view utf8);

// Empty when the text is not valid UTF-16 (a name may hold a lone
// surrogate, which no UTF-8 can carry).
std::string Utf8(std::wstring_view utf16);

// One command line that the C runtime and CommandLineToArgvW split back into
// exactly these arguments, whatever blanks, quotes and backslashes they hold.
std::wstring QuotedCommandLine(const std::vector<std::wstring>& arguments);

}  // namespace platform
