#include "signing/keys.h"

#include <cryptopp/keccak.h>

#include <algorithm>

#include "text/hex.h"
#include "text/quoted.h"

namespace orvane::signing {

namespace {

void hex_into(std::span<const std::uint8_t> bytes, char* out) {
  for (const std::uint8_t b : bytes) {
    out = text::put_hex_byte(out, b);
  }
}

std::string not_an_address(std::string_view text) { return "not an address: " + quoted_form(text); }

}  // namespace

Word keccak256(std::span<const std::uint8_t> data) {
  CryptoPP::Keccak_256 hash;
  if (!data.empty()) hash.Update(data.data(), data.size());
  Word digest;
  hash.Final(digest.data());
  return digest;
}

Word keccak256(std::string_view text) {
  return keccak256(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string out(bytes.size() * 2, '\0');
  hex_into(bytes, out.data());
  return out;
}

std::string hex0x(std::span<const std::uint8_t> bytes) {
  std::string out(2 + bytes.size() * 2, '\0');
  out[0] = '0';
  out[1] = 'x';
  hex_into(bytes, out.data() + 2);
  return out;
}

bool hex_decode(std::string_view text, std::span<std::uint8_t> out) {
  if (text.size() != out.size() * 2) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = hex_digit(text[2 * i]);
    const int lo = hex_digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return true;
}

Word address_word(const Address& address) {
  Word word{};
  std::copy(address.begin(), address.end(), word.begin() + 12);
  return word;
}

std::string checksummed(std::span<const std::uint8_t> bytes) {
  std::string out = hex0x(bytes);
  const std::string_view lower = std::string_view(out).substr(2);
  const Word h = keccak256(lower);
  // The digest has 64 nibbles; past them there is nothing to case by.
  const std::size_t cased = std::min<std::size_t>(lower.size(), 64);
  for (std::size_t i = 0; i < cased; ++i) {
    char& c = out[2 + i];
    const std::uint8_t mask = (i % 2 == 0) ? 0x80 : 0x08;
    if (c >= 'a' && (h[i / 2] & mask)) c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string address_of(const PublicPoint& point) {
  std::array<std::uint8_t, 64> xy;
  std::copy(point.x.begin(), point.x.end(), xy.begin());
  std::copy(point.y.begin(), point.y.end(), xy.begin() + 32);
  const Word h = keccak256(xy);
  return checksummed(std::span(h).subspan<12>());
}

std::expected<Word, Error> address(std::string_view text) {
  if (!text.starts_with("0x") || text.size() != 42) return invalid_field(not_an_address(text));
  const std::string_view digits = text.substr(2);
  Address bytes;
  if (!hex_decode(digits, bytes)) return invalid_field(not_an_address(text));

  bool lower = false;
  bool upper = false;
  for (const char c : digits) {
    lower |= (c >= 'a' && c <= 'f');
    upper |= (c >= 'A' && c <= 'F');
  }
  // One case throughout carries no checksum; a mix must be exactly the EIP-55 form.
  if (lower && upper && checksummed(bytes) != text) {
    return invalid_field("not a checksummed address: " + quoted_form(text));
  }
  return address_word(bytes);
}

std::expected<Word, Error> address_any_case(std::string_view text) {
  const std::string_view digits = text.starts_with("0x") ? text.substr(2) : text;
  Address bytes;
  if (!hex_decode(digits, bytes)) return invalid_field(not_an_address(text));
  return address_word(bytes);
}

}  // namespace orvane::signing
