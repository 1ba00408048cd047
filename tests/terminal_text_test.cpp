#include "image/terminal_text.h"

#include <gtest/gtest.h>

TEST(TerminalText, ShowsPrintableUtf8AndEscapesTheRest) {
    const struct {
        std::string_view text, shown;
    } cases[] = {
        {"plain/name 1.doc", "plain/name 1.doc"},
        {"\xC5\x81ukasz \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x97\xBA", "\xC5\x81ukasz \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x97\xBA"},
#ifdef _WIN32
        {"in\\sub\\a", "in\\sub\\a"},
#else
        {"a\\b", "a\\\\b"},
#endif
        {"tab\there\r\n", "tab\\there\\r\\x0a"},
        {std::string_view("nul\0", 4), "nul\\x00"},
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
        // C1 controls, U+0080 and U+009F; U+00A0 is printable.
        {"\xC2\x80\xC2\x9F\xC2\xA0", "\\xc2\\x80\\xc2\\x9f\xC2\xA0"},
        // A stray continuation, a lead byte without one, a cut sequence, an
        // overlong letter, a surrogate, beyond U+10FFFF.
        {"\x80x", "\\x80x"},
        {"\xC3(", "\\xc3("},
        {"\xE6\x97", "\\xe6\\x97"},
        {"\xE0\x83\xA9", "\\xe0\\x83\\xa9"},
        {"\xED\xA0\x80", "\\xed\\xa0\\x80"},
        {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(TerminalText(text), shown) << shown;
}
