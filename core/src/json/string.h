// JSON string literals: validating and decoding the text between the double quotes.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "text/error.h"

namespace orvane {

// Decodes `raw`, the text of one JSON string literal (as a raw member text holds it), without
// building a general value. JSON white space may follow the closing quote; anything else there is
// "trailing characters". Returns the content: a view into `raw` when it holds no escape, else a
// view of `scratch`, which receives the decoded text. Errors are kMalformedJson with texts of the
// form "{message} at line {l} column {c}", positions counted in `raw`.
std::expected<std::string_view, Error> decode_json_string(std::string_view raw,
                                                          std::string& scratch);

// As above, always into a new string.
std::expected<std::string, Error> decode_json_string(std::string_view raw);

// The first fault of a string literal.
struct JsonStringFault {
  std::string_view message;  // a static text, such as "invalid escape"
  std::size_t offset;        // of the offending byte in the text, or the text's size at its end
};

// Reads the string literal that starts with the double quote at text[pos]: checks escapes, UTF-8
// and unescaped control characters, appends the decoded content to `out` when it is not null, and
// on success moves `pos` past the closing quote. Sets `escaped` when the literal holds a backslash.
std::optional<JsonStringFault> scan_json_string(std::string_view text, std::size_t& pos,
                                                std::string* out, bool& escaped);

}  // namespace orvane
