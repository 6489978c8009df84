#include "signing/eip712.h"

#include <cryptopp/keccak.h>

#include <algorithm>
#include <array>

#include "text/quoted.h"

namespace orvane::signing {

namespace {

__extension__ using u128 = unsigned __int128;

constexpr std::string_view kDomainType =
    "EIP712Domain(string name,string version,uint256 chainId,address verifyingContract)";

}  // namespace

std::expected<Word, Error> uint(std::string_view text) {
  const std::string_view digits = trim_white_space(text);
  if (digits.empty() || !std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) {
    return invalid_field("not a uint256: " + quoted_form(text));
  }
  // Four 64-bit limbs, least significant first, taking up to 19 digits at a time; the value only
  // grows, so a carry out of the top limb at any step means 2^256 or more.
  std::array<std::uint64_t, 4> limbs{};
  for (std::size_t at = 0; at < digits.size();) {
    const std::size_t count = std::min<std::size_t>(19, digits.size() - at);
    std::uint64_t chunk = 0;
    std::uint64_t unit = 1;
    for (std::size_t i = 0; i < count; ++i) {
      chunk = chunk * 10 + static_cast<std::uint64_t>(digits[at + i] - '0');
      unit *= 10;
    }
    at += count;
    u128 carry = chunk;
    for (std::uint64_t& limb : limbs) {
      const u128 t = static_cast<u128>(limb) * unit + carry;
      limb = static_cast<std::uint64_t>(t);
      carry = t >> 64;
    }
    if (carry != 0) return invalid_field("does not fit in uint256: " + std::string(text));
  }
  Word word;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint64_t limb = limbs[3 - i];
    for (std::size_t b = 0; b < 8; ++b)
      word[8 * i + b] = static_cast<std::uint8_t>(limb >> (56 - 8 * b));
  }
  return word;
}

std::expected<Word, Error> bytes32(std::string_view text) {
  const std::string_view digits = text.starts_with("0x") ? text.substr(2) : text;
  if (digits.size() > 64) return invalid_field("not a bytes32: " + quoted_form(text));
  // Right-aligned: pad on the left with zero digits to 64.
  std::array<char, 64> padded;
  padded.fill('0');
  std::ranges::copy(digits, padded.end() - digits.size());
  Word word;
  if (!hex_decode(std::string_view(padded.data(), padded.size()), word)) {
    return invalid_field("not a bytes32: " + quoted_form(text));
  }
  return word;
}

Word uint_word(std::uint64_t value) {
  Word word{};
  for (std::size_t i = 0; i < 8; ++i) word[31 - i] = static_cast<std::uint8_t>(value >> (8 * i));
  return word;
}

Word uint8_word(std::uint8_t value) {
  Word word{};
  word[31] = value;
  return word;
}

Word struct_hash(std::string_view type, std::span<const Word> fields) {
  return struct_hash(keccak256(type), fields);
}

Word struct_hash(const Word& type_hash, std::span<const Word> fields) {
  CryptoPP::Keccak_256 hash;
  hash.Update(type_hash.data(), type_hash.size());
  for (const Word& field : fields) hash.Update(field.data(), field.size());
  Word digest;
  hash.Final(digest.data());
  return digest;
}

Word domain_separator(std::string_view name, std::string_view version, std::uint64_t chain_id,
                      const Word& verifying_contract) {
  return domain_separator(keccak256(name), keccak256(version), chain_id, verifying_contract);
}

Word domain_separator(const Word& name_hash, const Word& version_hash, std::uint64_t chain_id,
                      const Word& verifying_contract) {
  static const Word kDomainTypeHash = keccak256(kDomainType);
  const std::array<Word, 4> fields = {name_hash, version_hash, uint_word(chain_id),
                                      verifying_contract};
  return struct_hash(kDomainTypeHash, fields);
}

Word typed_digest(const Word& domain_separator, const Word& struct_hash) {
  std::array<std::uint8_t, 66> message;
  message[0] = 0x19;
  message[1] = 0x01;
  std::ranges::copy(domain_separator, message.begin() + 2);
  std::ranges::copy(struct_hash, message.begin() + 34);
  return keccak256(message);
}

}  // namespace orvane::signing
