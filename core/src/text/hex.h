// Lower-case hexadecimal digits: the one table behind every escape and hex text we write.
#pragma once

#include <cstdint>

namespace orvane::text {

inline constexpr char kHexDigits[] = "0123456789abcdef";

// The high and low digit of one byte, written at `out`; returns the position after them.
inline char* put_hex_byte(char* out, std::uint8_t byte) {
  *out++ = kHexDigits[byte >> 4];
  *out++ = kHexDigits[byte & 0x0f];
  return out;
}

}  // namespace orvane::text
