// The signing input readers on any text: the private key, both address readers with EIP-55,
// uint256 and bytes32. What they accept writes back to text that reads to the same word; a uint256
// is the number its digits spell, refused only past 2^256 - 1. A refusal names the text: quoted
// when its shape is wrong, as given when only its value is.
#include <algorithm>
#include <string>
#include <string_view>

#include "signing/eip712.h"
#include "signing/keys.h"
#include "signing/signer.h"
#include "target.h"
#include "text/quoted.h"

namespace {

using namespace orvane::signing;
namespace signing = orvane::signing;
using orvane::Error;
using orvane::ErrorCode;

constexpr std::string_view kMax =  // 2^256 - 1
    "115792089237316195423570985008687907853269984665640564039457584007913129639935";

// A uint256 word as decimal digits, by long division.
std::string decimal_digits(Word word) {
  std::string digits;
  while (std::any_of(word.begin(), word.end(), [](std::uint8_t b) { return b != 0; })) {
    unsigned remainder = 0;
    for (std::uint8_t& byte : word) {
      const unsigned value = remainder * 256 + byte;
      byte = static_cast<std::uint8_t>(value / 10);
      remainder = value % 10;
    }
    digits += static_cast<char>('0' + remainder);
  }
  std::reverse(digits.begin(), digits.end());
  return digits.empty() ? "0" : digits;
}

}  // namespace

FUZZ_TARGET(signing) {
  if (const auto signer = Signer::from_hex(text))
    FUZZ_CHECK(signer->sign_digest(keccak256(text)).has_value());
  const std::string quoted = orvane::quoted_form(text);
  // The strict reader accepts less than the any-case one, never otherwise.
  const auto strict = address(text);
  if (const auto word = address_any_case(text)) {
    const auto checksum = checksummed(std::span(*word).subspan(12));
    FUZZ_CHECK(address(checksum) == word && address_any_case(checksum) == word);
    FUZZ_CHECK(!strict || *strict == *word);
  } else {
    FUZZ_CHECK(!strict && strict.error() == word.error());
    FUZZ_CHECK(word.error() == Error(ErrorCode::kInvalidField, "not an address: " + quoted));
  }
  // The digits, white space trimmed and leading zeros dropped, when the text is only digits.
  const std::string_view trimmed = orvane::trim_white_space(text);
  std::string_view digits;
  if (!trimmed.empty() && trimmed.find_first_not_of("0123456789") == std::string_view::npos)
    digits = trimmed.substr(std::min(trimmed.find_first_not_of('0'), trimmed.size() - 1));
  if (const auto word = signing::uint(text)) {
    FUZZ_CHECK(!digits.empty() && decimal_digits(*word) == digits);
  } else if (digits.empty()) {
    FUZZ_CHECK(word.error() == Error(ErrorCode::kInvalidField, "not a uint256: " + quoted));
  } else {
    FUZZ_CHECK(digits.size() > kMax.size() || (digits.size() == kMax.size() && digits > kMax));
    FUZZ_CHECK(word.error().text == "does not fit in uint256: " + std::string(text));
  }
  const auto word = bytes32(text);
  FUZZ_CHECK(word ? bytes32(hex0x(*word)) == word
                  : word.error().text == "not a bytes32: " + quoted);
  return 0;
}
