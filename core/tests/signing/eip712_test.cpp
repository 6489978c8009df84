#include "signing/eip712.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::signing {
namespace {

constexpr std::string_view kMax =  // 2^256 - 1
    "115792089237316195423570985008687907853269984665640564039457584007913129639935";
constexpr std::string_view kOverMax =  // 2^256
    "115792089237316195423570985008687907853269984665640564039457584007913129639936";

// Accepted texts are read back against their digits by the signing fuzz target; here the refusals.
TEST(SigningEip712, UintRefusals) {
  // The overflow message shows the input untouched, white space included.
  const std::string padded = " " + std::string(kMax) + "0\n";
  EXPECT_EQ(uint(padded).error(),
            Error(ErrorCode::kInvalidField, "does not fit in uint256: " + padded));
  EXPECT_EQ(uint(kOverMax).error().text, "does not fit in uint256: " + std::string(kOverMax));
  // Non-digits are refused before any overflow: the shape decides first.
  EXPECT_EQ(uint(std::string(kOverMax) + "x").error().text.rfind("not a uint256: ", 0), 0u);
  EXPECT_EQ(uint(" \t").error().text, "not a uint256: \" \\t\"");
  for (const std::string_view bad : {"", "+1", "1.0", "0x10", "1_000", "1 2",
                                     "\xd9\xa1\xd9\xa2",  // Arabic-Indic digits one and two
                                     "\xef\xbc\x91"}) {   // fullwidth digit one
    EXPECT_EQ(uint(bad).error().text, "not a uint256: \"" + std::string(bad) + "\"") << bad;
  }
}

TEST(SigningEip712, Bytes32RightAligned) {
  EXPECT_EQ(*bytes32(""), Word{});
  EXPECT_EQ(*bytes32("0x"), Word{});
  EXPECT_EQ(hex(*bytes32("abc")), std::string(60, '0') + "0abc");
  EXPECT_EQ(*bytes32("abc"), *bytes32("0x0ABC"));
  const std::string full = "0x" + std::string(32, 'a') + std::string(32, 'B');
  EXPECT_EQ(hex(*bytes32(full)), std::string(32, 'a') + std::string(32, 'b'));
  for (const std::string& bad : {full + "c", std::string("0X12"), std::string(" 12"),
                                 std::string("0x0x12"), std::string("12g")}) {
    EXPECT_EQ(bytes32(bad).error().text, "not a bytes32: \"" + bad + "\"") << bad;
  }
}

}  // namespace
}  // namespace orvane::signing
