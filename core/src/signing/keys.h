// Keys: Keccak-256, hexadecimal, and Ethereum account addresses (public key to address, EIP-55
// checksums, and the two address readers).
//
// Every function here is pure and reentrant. The address readers refuse a text with kInvalidField
// (a ValueError in Python) and a message that shows the text in the quoted form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "text/error.h"

namespace orvane::signing {

// How every reader of an order field refuses a text.
inline std::unexpected<Error> invalid_field(std::string message) {
  return std::unexpected(Error(ErrorCode::kInvalidField, std::move(message)));
}

// 32 big-endian bytes: the EIP-712 encoding unit (uint256, address, bytes32, uint8) and every hash.
using Word = std::array<std::uint8_t, 32>;
using Address = std::array<std::uint8_t, 20>;

// An affine secp256k1 point, each coordinate 32 bytes big-endian. Never the point at infinity.
struct PublicPoint {
  std::array<std::uint8_t, 32> x{};
  std::array<std::uint8_t, 32> y{};
};

// Keccak-256 as Ethereum uses it: padding byte 0x01, not FIPS 202 SHA3-256.
Word keccak256(std::span<const std::uint8_t> data);
Word keccak256(std::string_view text);

// Lower-case hexadecimal, two characters per byte, no prefix.
std::string hex(std::span<const std::uint8_t> bytes);
// "0x" followed by `hex(bytes)`.
std::string hex0x(std::span<const std::uint8_t> bytes);
// The value of one hexadecimal digit of either case, or -1.
constexpr int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// `hex_digit` of every byte, 0xff where it is -1: one load per character in the decoders.
inline constexpr std::array<std::uint8_t, 256> kHexValues = [] {
  std::array<std::uint8_t, 256> values{};
  for (int c = 0; c < 256; ++c) {
    const int digit = hex_digit(static_cast<char>(c));
    values[c] = digit < 0 ? 0xff : static_cast<std::uint8_t>(digit);
  }
  return values;
}();
// Decodes exactly `2 * out.size()` hexadecimal characters of either case into `out`. Returns false
// (with `out` meaningless) when the length differs or a character is not a hex digit.
bool hex_decode(std::string_view text, std::span<std::uint8_t> out);

// The address word: 12 zero bytes, then the 20 address bytes.
Word address_word(const Address& address);

// "0x" + two hex characters per byte, letters upper-cased where the matching nibble of
// Keccak-256(lower-case hex) is 8 or more (EIP-55). Meant for 20 bytes; the checksum covers at most
// 32 bytes, and letters beyond that stay lower case.
std::string checksummed(std::span<const std::uint8_t> bytes);

// The EIP-55 address of a public point: the last 20 bytes of Keccak-256(X || Y).
std::string address_of(const PublicPoint& point);

// Reads "0x" + 40 hex characters. Letters all of one case are taken as they are; mixed case must be
// the EIP-55 form. Errors: "not an address: {quoted}" or "not a checksummed address: {quoted}".
std::expected<Word, Error> address(std::string_view text);

// Reads 40 hex characters of any case, with or without "0x" before them; no checksum test.
// Error: "not an address: {quoted}".
std::expected<Word, Error> address_any_case(std::string_view text);

}  // namespace orvane::signing
