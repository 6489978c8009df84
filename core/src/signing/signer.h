// Signer: one secp256k1 private key and the Ethereum-style recoverable signatures made with it.
//
// Signatures are deterministic (RFC 6979 nonces with HMAC-SHA-256, nothing random), low-S, and end
// with v = 27 + recovery id, byte for byte what eth-account's `Account._sign_hash` gives. The key
// never appears in a message, and every buffer that held it is wiped with a write the compiler
// cannot drop.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "signing/keys.h"
#include "text/error.h"

namespace orvane::signing {

// r (32 bytes) || s (32 bytes, at most n/2) || v (27 + recovery id).
using Signature = std::array<std::uint8_t, 65>;

class Signer {
 public:
  // Reads a hex private key: Unicode white space around it is trimmed, then every leading "0x"
  // (lower-case x) is dropped, then 48 to 64 hex digits of either case are read as a big-endian
  // number below the group order and above zero.
  // Errors: "not a hex private key" (odd length or a non-hex character), "not a valid secp256k1
  // private key" (fewer than 24 or more than 32 bytes, zero, or at least the group order).
  static std::expected<Signer, Error> from_hex(std::string_view private_key);

  // From 32 big-endian bytes. Error: "not a valid secp256k1 private key".
  static std::expected<Signer, Error> from_bytes(std::span<const std::uint8_t, 32> key);

  // Moving copies the key and wipes the source.
  Signer(Signer&& other) noexcept;
  Signer& operator=(Signer&& other) noexcept;
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;
  ~Signer();

  const PublicPoint& public_point() const { return point_; }

  // The EIP-55 address of the public point, made with it.
  std::string address() const { return std::string(address_text()); }
  std::string_view address_text() const {
    return std::string_view(address_.data(), address_.size());
  }

  // Signs a 32-byte digest. Errors: "a digest is 32 bytes, got {n}" for another length; a message
  // starting "secp256k1" should the library refuse (it does not for a valid key and 32 bytes).
  std::expected<Signature, Error> sign_digest(std::span<const std::uint8_t> digest) const;

 private:
  Signer() = default;
  void wipe() noexcept;

  std::array<std::uint8_t, 32> key_{};
  PublicPoint point_{};
  std::array<char, 42> address_{};
};

}  // namespace orvane::signing
