#include "signing/signer.h"

#include <secp256k1.h>
#include <secp256k1_preallocated.h>
#include <secp256k1_recovery.h>
#include <string.h>  // NOLINT(modernize-deprecated-headers): explicit_bzero

#include <algorithm>
#include <cstdlib>

#include "text/quoted.h"

namespace orvane::signing {

namespace {

constexpr std::string_view kNotHex = "not a hex private key";
constexpr std::string_view kNotValid = "not a valid secp256k1 private key";

// The message of the last callback the library made on this thread. The library's own callbacks
// print and abort the process; ours record the message and let the call fail.
thread_local const char* t_failure = nullptr;

void record_failure(const char* message, void*) { t_failure = message; }

// One context for the process, made on first use and never freed. It is preallocated so that an
// allocation failure is an error here rather than the library's abort. It is not randomised:
// signing draws on no random source, and the library's signing is constant-time without it.
const secp256k1_context* context() {
  static secp256k1_context* const ctx = []() -> secp256k1_context* {
    void* memory = std::malloc(secp256k1_context_preallocated_size(SECP256K1_CONTEXT_NONE));
    if (memory == nullptr) return nullptr;
    secp256k1_context* made = secp256k1_context_preallocated_create(memory, SECP256K1_CONTEXT_NONE);
    secp256k1_context_set_illegal_callback(made, record_failure, nullptr);
    secp256k1_context_set_error_callback(made, record_failure, nullptr);
    return made;
  }();
  return ctx;
}

std::string failure(std::string_view what) {
  std::string message = "secp256k1 ";
  message += what;
  if (t_failure != nullptr) {
    message += ": ";
    message += t_failure;
  }
  return message;
}

void wipe_bytes(void* data, std::size_t size) noexcept { explicit_bzero(data, size); }

}  // namespace

std::expected<Signer, Error> Signer::from_hex(std::string_view private_key) {
  std::string_view digits = trim_white_space(private_key);
  while (digits.starts_with("0x")) digits.remove_prefix(2);
  if (digits.size() % 2 != 0 ||
      !std::ranges::all_of(digits, [](char c) { return hex_digit(c) >= 0; })) {
    return std::unexpected(Error(ErrorCode::kInvalidKey, std::string(kNotHex)));
  }
  const std::size_t length = digits.size() / 2;
  if (length < 24 || length > 32)
    return std::unexpected(Error(ErrorCode::kInvalidKey, std::string(kNotValid)));

  // Shorter keys are big-endian numbers: left-pad with zero bytes.
  std::array<std::uint8_t, 32> key{};
  hex_decode(digits, std::span(key).last(length));
  auto signer = from_bytes(key);
  wipe_bytes(key.data(), key.size());
  return signer;
}

std::expected<Signer, Error> Signer::from_bytes(std::span<const std::uint8_t, 32> key) {
  const secp256k1_context* ctx = context();
  if (ctx == nullptr)
    return std::unexpected(Error(ErrorCode::kSigningFailed, "secp256k1 context unavailable"));
  // Zero and values at or above the group order are refused here.
  if (secp256k1_ec_seckey_verify(ctx, key.data()) != 1) {
    return std::unexpected(Error(ErrorCode::kInvalidKey, std::string(kNotValid)));
  }

  Signer signer;
  std::ranges::copy(key, signer.key_.begin());
  t_failure = nullptr;
  secp256k1_pubkey pubkey;
  std::array<std::uint8_t, 65> sec1;
  std::size_t sec1_size = sec1.size();
  if (secp256k1_ec_pubkey_create(ctx, &pubkey, signer.key_.data()) != 1 ||
      secp256k1_ec_pubkey_serialize(ctx, sec1.data(), &sec1_size, &pubkey,
                                    SECP256K1_EC_UNCOMPRESSED) != 1 ||
      t_failure != nullptr || sec1_size != sec1.size()) {
    return std::unexpected(
        Error(ErrorCode::kSigningFailed, failure("public key derivation failed")));
  }
  std::copy(sec1.begin() + 1, sec1.begin() + 33, signer.point_.x.begin());
  std::copy(sec1.begin() + 33, sec1.end(), signer.point_.y.begin());
  const std::string address = address_of(signer.point_);
  std::ranges::copy(address, signer.address_.begin());
  return signer;
}

Signer::Signer(Signer&& other) noexcept
    : key_(other.key_), point_(other.point_), address_(other.address_) {
  other.wipe();
}

Signer& Signer::operator=(Signer&& other) noexcept {
  if (this != &other) {
    key_ = other.key_;
    point_ = other.point_;
    address_ = other.address_;
    other.wipe();
  }
  return *this;
}

Signer::~Signer() { wipe(); }

void Signer::wipe() noexcept { wipe_bytes(key_.data(), key_.size()); }

std::expected<Signature, Error> Signer::sign_digest(std::span<const std::uint8_t> digest) const {
  if (digest.size() != 32) {
    return std::unexpected(Error(ErrorCode::kSigningFailed,
                                 "a digest is 32 bytes, got " + std::to_string(digest.size())));
  }
  const secp256k1_context* ctx = context();
  if (ctx == nullptr)
    return std::unexpected(Error(ErrorCode::kSigningFailed, "secp256k1 context unavailable"));

  t_failure = nullptr;
  // A null nonce function is the library's RFC 6979 (HMAC-SHA-256) with no extra data; the library
  // normalises s to the lower half and adjusts the recovery id with it.
  secp256k1_ecdsa_recoverable_signature sig;
  Signature out;
  int recovery_id = 0;
  if (secp256k1_ecdsa_sign_recoverable(ctx, &sig, digest.data(), key_.data(), nullptr, nullptr) !=
          1 ||
      secp256k1_ecdsa_recoverable_signature_serialize_compact(ctx, out.data(), &recovery_id,
                                                              &sig) != 1 ||
      t_failure != nullptr || recovery_id < 0 || recovery_id > 3) {
    return std::unexpected(Error(ErrorCode::kSigningFailed, failure("signing failed")));
  }
  out[64] = static_cast<std::uint8_t>(27 + recovery_id);
  return out;
}

}  // namespace orvane::signing
