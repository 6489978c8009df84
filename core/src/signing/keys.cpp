#include "signing/keys.h"

#include <cryptopp/keccak.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>

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

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x80 * kOnes;

// Eight characters, the first at the lowest address, as one word.
std::uint64_t load8(const char* text) {
  std::uint64_t x;
  std::memcpy(&x, text, 8);
  if constexpr (std::endian::native == std::endian::big) x = std::byteswap(x);
  return x;
}

// Eight hex digits of either case into four bytes, a word at a time; false when any character is
// not a hex digit (the bytes are then meaningless). Each step's sums stay inside their byte for
// 7-bit characters, and a character with its high bit set fails on its own.
bool decode8(const char* text, std::uint8_t* out) {
  const std::uint64_t x = load8(text);
  const std::uint64_t folded = x | 0x20 * kOnes;  // letters lower-cased
  const std::uint64_t digit = (x + (0x80 - '0') * kOnes) & ~(x + (0x80 - '9' - 1) * kOnes);
  const std::uint64_t letter =
      (folded + (0x80 - 'a') * kOnes) & ~(folded + (0x80 - 'f' - 1) * kOnes) & kHighBits;
  const bool valid = (x & kHighBits) == 0 && ((digit & kHighBits) | letter) == kHighBits;
  // Each byte's value, then the pairs of halves side by side, then the four bytes packed.
  const std::uint64_t nibbles = (x & 0x0f * kOnes) + (letter >> 7) * 9;
  std::uint64_t packed = ((nibbles << 4) | (nibbles >> 8)) & 0x00ff00ff00ff00ff;
  packed = (packed | (packed >> 8)) & 0x0000ffff0000ffff;
  auto bytes = static_cast<std::uint32_t>(packed | (packed >> 16));
  if constexpr (std::endian::native == std::endian::big) bytes = std::byteswap(bytes);
  std::memcpy(out, &bytes, 4);
  return valid;
}

#if defined(__SSE2__)
// Sixteen hex digits into eight bytes, as `decode8` does it but a vector at a time. Bytes compare
// as signed, so a character with its high bit set is below every range.
bool decode16(const char* text, std::uint8_t* out) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i folded = _mm_or_si128(x, _mm_set1_epi8(0x20));
  const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)),
                                      _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(folded, _mm_set1_epi8('a' - 1)),
                                       _mm_cmplt_epi8(folded, _mm_set1_epi8('f' + 1)));
  const bool valid = _mm_movemask_epi8(_mm_or_si128(digit, letter)) == 0xffff;
  const __m128i nibbles =
      _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(0x0f)), _mm_and_si128(letter, _mm_set1_epi8(9)));
  // Each 16-bit lane holds a byte's high half, then its low half: join them, then pack the lanes.
  const __m128i joined = _mm_or_si128(
      _mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0xf0)), _mm_srli_epi16(nibbles, 8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(joined, joined));
  return valid;
}
#endif

}  // namespace

bool hex_decode(std::string_view text, std::span<std::uint8_t> out) {
  if (text.size() != out.size() * 2) return false;
  bool valid = true;
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= out.size(); i += 8) valid &= decode16(text.data() + 2 * i, out.data() + i);
#endif
  for (; i + 4 <= out.size(); i += 4) valid &= decode8(text.data() + 2 * i, out.data() + i);
  // The rest a byte at a time: digits are below 16, a non-digit's 0xff shows in the bits above.
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  std::uint8_t seen = 0;
  for (; i < out.size(); ++i) {
    const std::uint8_t hi = kHexValues[in[2 * i]];
    const std::uint8_t lo = kHexValues[in[2 * i + 1]];
    seen |= hi | lo;
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return valid && seen < 16;
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

  // One case throughout carries no checksum; a mix must be exactly the EIP-55 form. Case shows in
  // bits 5 and 6 of a hex letter: both set in a-f, only bit 6 in A-F; a numeral has bit 6 clear
  // and bit 5 set, so setting bit 5 lower-cases the letters and leaves the numerals. A word at a
  // time, as for the digits.
  constexpr std::uint64_t kBit5 = 0x20 * kOnes;
  constexpr std::uint64_t kBit6 = 0x40 * kOnes;
  std::array<std::uint64_t, 5> words;
  std::array<char, 40> plain;
  std::uint64_t lower = 0;
  std::uint64_t upper = 0;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::uint64_t x = words[i] = load8(digits.data() + 8 * i);
    lower |= x & (x << 1) & kBit6;
    upper |= x & ~(x << 1) & kBit6;
    std::uint64_t folded = x | kBit5;
    if constexpr (std::endian::native == std::endian::big) folded = std::byteswap(folded);
    std::memcpy(plain.data() + 8 * i, &folded, 8);
  }
  if (lower == 0 || upper == 0) return address_word(bytes);

  // A letter is upper case exactly where the digest's nibble is 8 or more: character 2k by bit 7
  // of digest byte k, character 2k + 1 by its bit 3. Eight characters are compared at a time
  // with the text they must be.
  const Word h = keccak256(std::string_view(plain.data(), plain.size()));
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::uint8_t* d = h.data() + 4 * i;
    std::uint64_t nibbles = std::uint64_t(d[0]) | std::uint64_t(d[1]) << 16 |
                            std::uint64_t(d[2]) << 32 | std::uint64_t(d[3]) << 48;
    nibbles |= nibbles << 8;  // digest byte k in bytes 2k and 2k + 1
    const std::uint64_t cased = ((nibbles & 0x0080008000800080) >> 2) |  // bit 7 of even bytes
                                ((nibbles & 0x0800080008000800) << 2);   // bit 3 of odd bytes
    const std::uint64_t x = words[i];
    const std::uint64_t letters = (x & kBit6) >> 1;
    if (((x | kBit5) ^ (cased & letters)) != x)
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
