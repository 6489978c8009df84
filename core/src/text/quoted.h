// The quoted form in which error messages show an offending text, and Unicode white-space trimming.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// `text` between double quotes. Inside, `"` and `\` are preceded by a backslash; NUL, tab, carriage
// return and line feed are written \0, \t, \r and \n; other control characters, non-printable
// characters (as Python's str.isprintable() means: general categories Cc, Cf, Cs, Co, Cn, Zs, Zl
// and Zp, except the ASCII space) and combining marks (the Grapheme_Extend property) are written
// \u{hex} with the code point in lower-case hex without leading zeros; every other character stands
// as itself. A byte that is not part of well-formed UTF-8 is written \x followed by two lower-case
// hex digits (\xff), so that any byte string has a readable, unambiguous quoted form.
std::string quoted_form(std::string_view text);
void append_quoted_form(std::string& out, std::string_view text);

// `text` without leading and trailing characters that have the Unicode White_Space property (ASCII
// blanks, tabs and line ends, NEL, NBSP and the other Unicode spaces). Trimming stops at a byte
// that is not well-formed UTF-8, which is never white space.
std::string_view trim_white_space(std::string_view text);

}  // namespace orvane
