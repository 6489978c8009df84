#include "signing/eip712.h"

#include <cryptopp/keccak.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "text/quoted.h"

namespace orvane::signing {

namespace {

__extension__ using u128 = unsigned __int128;

constexpr std::string_view kDomainType =
    "EIP712Domain(string name,string version,uint256 chainId,address verifyingContract)";

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Eight digit characters, the first the most significant, as their value, in a few word-wide
// steps. Sets `bad` when any of them is not a digit (the value is then meaningless).
std::uint64_t eight_digits(const char* digits, bool& bad) {
  std::uint64_t x;
  std::memcpy(&x, digits, 8);
  if constexpr (std::endian::native == std::endian::big) x = std::byteswap(x);
  // Each byte's high half is 3, and stays 3 with 6 added (the low half is at most 9).
  bad |= ((x & 0xf0f0f0f0f0f0f0f0) | (((x + 0x0606060606060606) & 0xf0f0f0f0f0f0f0f0) >> 4)) !=
         0x3333333333333333;
  x -= 0x3030303030303030;
  x = x * 10 + (x >> 8);  // pairs of digits, in every other byte
  constexpr std::uint64_t kPairs = 0x000000ff000000ff;
  return ((x & kPairs) * (100 + (1000000ull << 32)) +
          ((x >> 16) & kPairs) * (1 + (10000ull << 32))) >>
         32;
}

// The value of `count` (at most 19) digit characters; sets `bad` when any of them is not a digit.
std::uint64_t chunk_value(const char* digits, std::size_t count, bool& bad) {
  std::uint64_t value = 0;
  for (; count >= 8; count -= 8, digits += 8)
    value = value * 100'000'000 + eight_digits(digits, bad);
  for (; count > 0; --count, ++digits) {
    const unsigned digit = static_cast<unsigned char>(*digits) - unsigned('0');
    bad |= digit > 9;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::expected<Word, Error> uint(std::string_view text) {
  // Most texts are bare digits: trimming needs looking at only when an end is something else.
  const bool bare = !text.empty() && is_digit(text.front()) && is_digit(text.back());
  const std::string_view digits = bare ? text : trim_white_space(text);
  const auto not_a_uint = [&] { return invalid_field("not a uint256: " + quoted_form(text)); };
  if (digits.empty()) return not_a_uint();
  // Four 64-bit limbs, least significant first. The leading chunk takes the odd digits so that
  // every later one is 19 digits, a multiplication by 10^19 (below 2^64) of the limbs in use. The
  // value only grows, so a carry out of the top limb at any step means 2^256 or more. Digits are
  // checked as they are read; a non-digit anywhere is the message that wins.
  constexpr std::uint64_t kChunkUnit = 10'000'000'000'000'000'000u;
  bool bad = false;
  std::array<std::uint64_t, 4> limbs{};
  const char* const first = digits.data();  // read by counts, never past `digits`
  std::size_t at = digits.size() % 19 == 0 ? 19 : digits.size() % 19;
  limbs[0] = chunk_value(first, at, bad);
  std::size_t used = 1;
  for (; at < digits.size(); at += 19) {
    u128 carry = chunk_value(first + at, 19, bad);
    for (std::size_t i = 0; i < used; ++i) {
      const u128 t = static_cast<u128>(limbs[i]) * kChunkUnit + carry;
      limbs[i] = static_cast<std::uint64_t>(t);
      carry = t >> 64;
    }
    if (carry != 0) {
      if (used < limbs.size()) {
        limbs[used++] = static_cast<std::uint64_t>(carry);
      } else if (std::ranges::all_of(digits, is_digit)) {
        return invalid_field("does not fit in uint256: " + std::string(text));
      } else {
        return not_a_uint();
      }
    }
  }
  if (bad) return not_a_uint();
  Word word;  // big-endian
  for (std::size_t i = 0; i < 4; ++i) {
    std::uint64_t limb = limbs[3 - i];
    if constexpr (std::endian::native == std::endian::little) limb = std::byteswap(limb);
    std::memcpy(word.data() + 8 * i, &limb, 8);
  }
  return word;
}

std::expected<Word, Error> bytes32(std::string_view text) {
  const std::string_view digits = text.starts_with("0x") ? text.substr(2) : text;
  // Right-aligned: an odd count's first digit is the low half of its byte.
  Word word{};
  const std::size_t odd = digits.size() % 2;
  const std::size_t bytes = digits.size() / 2 + odd;
  bool read = bytes <= word.size();
  if (read && odd == 1) {
    const std::uint8_t digit = kHexValues[static_cast<unsigned char>(digits[0])];
    read = digit < 16;
    word[word.size() - bytes] = digit;
  }
  if (!read || !hex_decode(digits.substr(odd), std::span(word).last(bytes - odd))) {
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
  // The fields are contiguous: one Update rather than one per field.
  const std::span<const std::byte> bytes = std::as_bytes(fields);
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size());
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
