// The signing input readers on any text: the private key, both address readers with EIP-55,
// uint256 and bytes32. What they accept writes back to text that reads to the same word; a uint256
// is the number its digits spell.
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
  if (const auto signer = Signer::from_hex(text)) {
    FUZZ_CHECK(signer->sign_digest(keccak256(text)).has_value());
  }
  // The strict reader accepts less than the any-case one, never otherwise.
  const auto strict = address(text);
  if (const auto word = address_any_case(text)) {
    const auto checksum = checksummed(std::span(*word).subspan(12));
    FUZZ_CHECK(address(checksum) == word && address_any_case(checksum) == word);
    FUZZ_CHECK(!strict || *strict == *word);
  } else {
    FUZZ_CHECK(!strict);
  }
  if (const auto word = signing::uint(text)) {
    // The word spells the text's digits, white space trimmed and leading zeros dropped.
    const std::string_view digits = orvane::trim_white_space(text);
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    FUZZ_CHECK(!digits.empty() && decimal_digits(*word) == digits.substr(first));
  }
  if (const auto word = bytes32(text)) FUZZ_CHECK(bytes32(hex0x(*word)) == word);
  return 0;
}
