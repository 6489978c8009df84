// Writing JSON values as text.
#pragma once

#include <string>

#include "json/value.h"

namespace orvane {

// The number text of a double as Python's repr(float) writes it: the shortest digits that read back
// to the same double, in fixed notation with at least one fractional digit when the decimal
// exponent is in -4..15 ("100.0", "0.0001", "-0.0"), else in exponent notation with a sign and at
// least two exponent digits ("1e-07", "1.5e+16"). Non-finite values give "nan", "inf" and "-inf".
std::string float_text(double value);
void append_float_text(std::string& out, double value);

// The number text of a number value: the decimal digits of an integer (with "-" when negative), or
// float_text of a float. Requires value.is_number().
std::string number_text(const JsonValue& value);

// Compact JSON: no spaces, members in name order, strings with `"`, `\` and control characters
// escaped (\b \f \n \r \t, others \u00xx), other characters as they are; floats as float_text,
// except that a non-finite float, which JSON cannot express, is written as null.
std::string compact_text(const JsonValue& value);
void append_compact_text(std::string& out, const JsonValue& value);

}  // namespace orvane
