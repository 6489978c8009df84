#include "venues/opinion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "venue_text.h"

namespace orvane::opinion {
namespace {

using fuzz::describe;

// That the one-pass and the general reader agree, on these frames and any other, is the venue fuzz
// target's check; here the decoded values and the error texts.
TEST(OpinionDecode, Frames) {
  const std::string diff = R"({"msgType":"market.depth.diff",)";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {diff + R"("side":"bids","price":"0.45","size":10,"tokenId":"t1"})", "t1 0.45 10 bids"},
      {diff + R"("side":"BIDS","price":0.45,"size":"1e1","tokenId":7})", "7 0.45 10 bids"},
      {diff + R"("side":"bid","price":"0.45","size":"0","tokenId":null})", " 0.45 0 asks"},
      {diff + R"("side":["bids"],"price":"1","size":"2","size":"-1"})", " 1 -1 asks"},
      {"{", "error: not JSON: "},
      {"[]", "error: not a depth change"},
      {R"({"msgType":"market.depth.DIFF","price":1,"size":1})", "error: not a depth change"},
      {diff + R"("size":1})", R"(error: missing "price")"},
      {diff + R"("price":1})", R"(error: missing "size")"},
      {diff + R"("price":1,"size":1,"tokenId":{"a":1}})", R"(error: not text: {"a":1})"},
      {diff + R"("price":{"value":"1"},"size":1})", R"(error: not a decimal: {"value":"1"})"},
      {diff + R"("price":"1","size":"1e-30"})", "error: not a decimal: "},
  };
  for (const auto& [text, expected] : cases) {
    const std::string got = describe(decode(text));
    EXPECT_EQ(got.substr(0, expected.size()), expected) << text;
  }
  EXPECT_EQ(decode("{").error().code, ErrorCode::kMalformedJson);
}

}  // namespace
}  // namespace orvane::opinion
