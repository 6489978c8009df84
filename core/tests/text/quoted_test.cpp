#include "text/quoted.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane {
namespace {

using Case = std::pair<std::string, std::string>;  // the text, and what it shows

TEST(Quoted, EscapesWhatIsNotPrintable) {
  const Case cases[] = {
      {"", R"("")"},
      {"a\"b\\c'd", R"("a\"b\\c'd")"},
      {std::string("\0\t\r\n", 4), R"("\0\t\r\n")"},
      {"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
      {"\xc2\x85", R"("\u{85}")"},  // NEL, a C1 control
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"\xc2\xa0", R"("\u{a0}")"},        // NO-BREAK SPACE (Zs)
      {"\xe2\x80\xa8", R"("\u{2028}")"},  // LINE SEPARATOR (Zl)
      {"\xe2\x80\x8b", R"("\u{200b}")"},  // ZERO WIDTH SPACE (Cf)
      {"\xee\x80\x80", R"("\u{e000}")"},  // private use (Co)
      {"\xcd\xb8", R"("\u{378}")"},       // unassigned (Cn)
      {"e\xcc\x81", R"("e\u{301}")"},     // COMBINING ACUTE ACCENT (Grapheme_Extend)
      {"\xe0\xa4\x95\xe0\xa4\xbf", "\"\xe0\xa4\x95\xe0\xa4\xbf\""},  // DEVANAGARI VOWEL SIGN I (Mc)
      // Bytes outside well-formed UTF-8 are shown one by one.
      {"a\xff!", R"("a\xff!")"},
      {"\xed\xa0\x80", R"("\xed\xa0\x80")"},  // an encoded surrogate
      {"\xc0\xaf", R"("\xc0\xaf")"},          // overlong "/"
  };
  for (const Case& c : cases) EXPECT_EQ(quoted_form(c.first), c.second) << c.first;
}

TEST(Quoted, TrimsUnicodeWhiteSpace) {
  const Case cases[] = {
      {" \t\n\v\f\rx y\r\n ", "x y"},
      {"\xc2\xa0\xe2\x80\x83x\xe3\x80\x80\xc2\x85", "x"},  // NBSP, EM SPACE, IDEOGRAPHIC SPACE, NEL
      {"\xe2\x80\x8bx", "\xe2\x80\x8bx"},                  // ZERO WIDTH SPACE is not White_Space
      {"\x1cx\x1f", "\x1cx\x1f"},                          // nor are the information separators
      {"   ", ""},
      {" \xa0", "\xa0"},           // a lone trail byte stops trimming
      {"x\xe3\x80", "x\xe3\x80"},  // so does a cut-off sequence
  };
  for (const Case& c : cases)
    EXPECT_EQ(trim_white_space(c.first), c.second) << quoted_form(c.first);
}

}  // namespace
}  // namespace orvane
