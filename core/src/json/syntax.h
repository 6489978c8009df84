// The syntax rules shared by the JSON readers, and where a rejected text goes wrong.
//
// The fast parser (simdjson) decides whether a text is accepted; when it rejects one, this plain
// scanner walks the text again to name the first fault and its position, which simdjson does not
// report. It runs only on failures.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Arrays and objects may nest this deep; one more level is an error ("recursion limit exceeded").
// Deep nesting has crashed JSON parsers in the field, so the limit is ours, not the library's.
inline constexpr int kJsonMaxDepth = 128;

// JSON white space: blank, tab, line feed, carriage return.
constexpr bool is_json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// "{message} at line {l} column {c}" for a fault at byte `offset` of `text` (`text.size()` for the
// end of the text). The line is 1-based; the column is the 1-based byte column of the offending
// byte, or at the end of the text the number of bytes on its last line (so 0 for an empty text).
std::string json_error_at(std::string_view text, std::size_t offset, std::string_view message);

struct JsonSyntaxFault {
  std::string_view message;  // static text
  std::size_t offset;
};

// The first syntax fault of `text` as one JSON value with optional white space around it, or
// nothing when the text is well formed. Numbers are checked for grammar only, not range.
std::optional<JsonSyntaxFault> find_json_syntax_fault(std::string_view text);

}  // namespace orvane
