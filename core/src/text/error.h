// Error: what a core operation reports instead of its value, a code to act on and the text to show.
//
// The code decides what the caller does (the binding maps each code to one exception type, in one
// place); the text is shown as it is. Callers and tests branch on codes, never on texts.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace orvane {

enum class ErrorCode : uint8_t {
  kInvalidDecimal,  // a text the Decimal grammar refuses, or one it could only hold rounded
  kOverflow,        // a result exact arithmetic cannot hold: a broken invariant for the caller
  kPriceCollision,  // two prices of a side that a mapping made equal: a broken invariant too
  kInvalidKey,      // a private key that is not 32 bytes of hex within the curve's order
  kInvalidField,    // an order field's text that its reader refuses (a uint256, an address, ...)
  kSigningFailed,   // the signer refused a digest
  kMalformedJson,   // a text that is not JSON, or one the parser cannot hold (too deep, too large)
  kMalformedFrame,  // valid JSON that is not the venue's frame: a member missing or of a wrong type
  kOtherFrame,      // a frame of another kind (a heartbeat, another event): for another handler
};

struct Error {
  ErrorCode code;
  std::string text;

  Error(ErrorCode error_code, std::string error_text)
      : code(error_code), text(std::move(error_text)) {}

  friend bool operator==(const Error&, const Error&) = default;
};

}  // namespace orvane
