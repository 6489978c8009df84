#include "signing/eip712.h"

#include <cryptopp/keccak.h>

#include <algorithm>
#include <array>

#include "text/quoted.h"

namespace orvane::signing {

namespace {

constexpr std::string_view kDomainType =
    "EIP712Domain(string name,string version,uint256 chainId,address verifyingContract)";

}  // namespace

std::expected<Word, std::string> uint(std::string_view text) {
  const std::string_view digits = trim_white_space(text);
  if (digits.empty() || !std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) {
    return std::unexpected("not a uint256: " + quoted_form(text));
  }
  // Eight 32-bit limbs, least significant first; a carry out of the top limb means 2^256 or more.
  std::array<std::uint32_t, 8> limbs{};
  for (const char c : digits) {
    std::uint64_t carry = static_cast<std::uint64_t>(c - '0');
    for (std::uint32_t& limb : limbs) {
      const std::uint64_t t = std::uint64_t{limb} * 10 + carry;
      limb = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) return std::unexpected("does not fit in uint256: " + std::string(text));
  }
  Word word;
  for (std::size_t i = 0; i < 32; ++i) {
    word[31 - i] = static_cast<std::uint8_t>(limbs[i / 4] >> (8 * (i % 4)));
  }
  return word;
}

std::expected<Word, std::string> bytes32(std::string_view text) {
  const std::string_view digits = text.starts_with("0x") ? text.substr(2) : text;
  if (digits.size() > 64) return std::unexpected("not a bytes32: " + quoted_form(text));
  // Right-aligned: pad on the left with zero digits to 64.
  std::array<char, 64> padded;
  padded.fill('0');
  std::ranges::copy(digits, padded.end() - digits.size());
  Word word;
  if (!hex_decode(std::string_view(padded.data(), padded.size()), word)) {
    return std::unexpected("not a bytes32: " + quoted_form(text));
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
  const Word type_hash = keccak256(type);
  CryptoPP::Keccak_256 hash;
  hash.Update(type_hash.data(), type_hash.size());
  for (const Word& field : fields) hash.Update(field.data(), field.size());
  Word digest;
  hash.Final(digest.data());
  return digest;
}

Word domain_separator(std::string_view name, std::string_view version, std::uint64_t chain_id,
                      const Word& verifying_contract) {
  const std::array<Word, 4> fields = {keccak256(name), keccak256(version), uint_word(chain_id),
                                      verifying_contract};
  return struct_hash(kDomainType, fields);
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
