// The JSON value of one scalar token read by PlainJsonReader (json/plain.h), built without the
// general reader.
#pragma once

#include <optional>
#include <string_view>

#include "json/value.h"

namespace orvane {

// `token` must be a token PlainJsonReader::value() gave: a string literal without escapes, a number
// without an exponent, true, false or null. Gives the value the general reader (json/parse.h) gives
// for it: integers in their 64-bit forms ("-0" the unsigned 0), other numbers as the nearest
// double. Nothing for an array or an object, which the caller leaves to the general reader.
std::optional<JsonValue> plain_scalar(std::string_view token);

}  // namespace orvane
