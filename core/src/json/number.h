// The value of one JSON number token, read from its own text.
#pragma once

#include <optional>
#include <string_view>

#include "json/value.h"

namespace orvane {

// `token` is the whole text of one number, without surrounding white space. An integer (no
// fraction, no exponent) that fits a 64-bit form keeps it ("-0" is the unsigned 0); every other
// number is the correctly rounded double of its text, whatever its digit count, leading zeros or
// exponent, and a magnitude below the smallest subnormal is a zero of its sign. Nothing when the
// token breaks the JSON number grammar or lies beyond the double range.
std::optional<JsonValue> json_number(std::string_view token);

}  // namespace orvane
