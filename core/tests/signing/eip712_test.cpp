#include "signing/eip712.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::signing {
namespace {

constexpr std::string_view kMax =  // 2^256 - 1
    "115792089237316195423570985008687907853269984665640564039457584007913129639935";
constexpr std::string_view kOverMax =  // 2^256
    "115792089237316195423570985008687907853269984665640564039457584007913129639936";

TEST(SigningEip712, UintValuesAndBoundaries) {
  EXPECT_EQ(hex(*uint("0")), std::string(64, '0'));
  EXPECT_EQ(hex(*uint("  \t000256\n")), std::string(60, '0') + "0100");
  // No-break space and ideographic space are Unicode White_Space too.
  EXPECT_EQ(hex(*uint("\xc2\xa0"
                      "1\xe3\x80\x80")),
            std::string(62, '0') + "01");
  EXPECT_EQ(hex(*uint("18446744073709551616")), std::string(46, '0') + "010000000000000000");
  EXPECT_EQ(hex(*uint(kMax)), std::string(64, 'f'));
  EXPECT_EQ(hex(*uint(std::string(100, '0') + std::string(kMax))), std::string(64, 'f'));
  EXPECT_EQ(uint(kOverMax).error(), "does not fit in uint256: " + std::string(kOverMax));
  // The overflow message shows the input untouched, white space included.
  const std::string padded = " " + std::string(kMax) + "0\n";
  EXPECT_EQ(uint(padded).error(), "does not fit in uint256: " + padded);
}

TEST(SigningEip712, UintRefusesNonDigits) {
  for (const std::string_view bad :
       {"", "   ", "-1", "+1", "1.0", "1e3", "0x10", "1_000", "1,000", "1 2",
        "\xd9\xa1\xd9\xa2",  // Arabic-Indic digits one and two
        "\xef\xbc\x91"}) {   // fullwidth digit one
    EXPECT_EQ(uint(bad).error(), "not a uint256: \"" + std::string(bad) + "\"") << bad;
  }
  // Non-digits are refused before any overflow: the shape decides first.
  EXPECT_EQ(uint(std::string(kOverMax) + "x").error().rfind("not a uint256: ", 0), 0u);
  EXPECT_EQ(uint(" \t").error(), "not a uint256: \" \\t\"");
}

TEST(SigningEip712, Bytes32RightAligned) {
  EXPECT_EQ(*bytes32(""), Word{});
  EXPECT_EQ(*bytes32("0x"), Word{});
  EXPECT_EQ(hex(*bytes32("1")), std::string(63, '0') + "1");
  EXPECT_EQ(*bytes32("abc"), *bytes32("0x0ABC"));
  EXPECT_EQ(hex(*bytes32("abc")), std::string(60, '0') + "0abc");
  const std::string full = "0x" + std::string(32, 'a') + std::string(32, 'B');
  EXPECT_EQ(hex(*bytes32(full)), std::string(32, 'a') + std::string(32, 'b'));
  for (const std::string& bad : {full + "c", std::string("0X12"), std::string(" 12"),
                                 std::string("0x0x12"), std::string("12g")}) {
    EXPECT_EQ(bytes32(bad).error(), "not a bytes32: \"" + bad + "\"") << bad;
  }
}

// Values from eth-account's EIP-712 encoder.
TEST(SigningEip712, DomainSeparatorAndDigest) {
  const Word exchange = *address("0xE111180000d2663C0091e4f400237545B87B996B");
  const Word domain = domain_separator("Polymarket CTF Exchange", "2", 137, exchange);
  EXPECT_EQ(hex(domain), "3264e159346253e26a64e00b69032db0e7d32f94628de3e6eecb50304d7af3d2");
  Word body;
  hex_decode("7911e5dcf957a3de3879351b7b23f405132e4247e6fb82c9c3da968b1bef00fd", body);
  EXPECT_EQ(hex(typed_digest(domain, body)),
            "70a00297d8e7ddc2f748cd960694b761a83e4eb5c0976d7d3ccb47258ab33e16");
}

}  // namespace
}  // namespace orvane::signing
