#include "venues/kalshi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json.h"
#include "venue_text.h"

namespace orvane::kalshi {
namespace {

using fuzz::describe;
using fuzz::texts;

// That the one-pass and the general reader agree, on these frames and any other, is the venue fuzz
// target's check; here the decoded values and the error texts.
TEST(KalshiDecode, Snapshot) {
  auto message = decode(R"({"type":"orderbook_snapshot","sid":3,"seq":"17","msg":{
      "market_ticker":"T-1","market_id":"m","yes_dollars_fp":[["0.4300","5.00"],[0.42,0]],
      "no_dollars_fp":[["0.4500","10"],[{"value":"0.1"},"1"]]}})");
  EXPECT_EQ(describe(message),
            R"(orderbook_snapshot seq="17" sid=3 n=17 T-1 yes=0.4300:5.00 0.42:0 )"
            R"(no=0.5500:10 0.9:1 id="m")");
  orvane::Book book;
  apply(book, std::get<Snapshot>(message->book));
  EXPECT_TRUE(book.ready);
  EXPECT_EQ(texts(book.bid_levels()), "0.4300:5.00 ");  // the zero size is dropped
}

TEST(KalshiDecode, Deltas) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"("side":"yes","price_dollars":0.45,"delta_fp":"-2.5","ts_ms":170,"client_order_id":"")",
       R"(orderbook_delta seq=-4 sid=null n=-4  ts=170 id="" 0.45 -2.5 side=0)"},
      {R"("side":"YES","price_dollars":"0.450","delta_fp":1)",
       "orderbook_delta seq=-4 sid=null n=-4  ts=null id=null 0.550 1 side=1"},
      {R"("price_dollars":"1e-3","delta_fp":{"value":"7"},"market_ticker":5)",
       "orderbook_delta seq=-4 sid=null n=-4 5 ts=null id=null 0.999 7 side=1"},
  };
  for (const auto& [body, expected] : cases) {
    EXPECT_EQ(describe(decode(R"({"type":"orderbook_delta","seq":-4,"msg":{)" + body + "}}")),
              expected);
  }
}

TEST(KalshiDecode, FrameShapes) {
  const std::string snapshot = R"({"type":"orderbook_snapshot",)";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {snapshot + R"("msg":null,"seq":null})",
       "orderbook_snapshot seq=null sid=null n=none  yes=no=id=null"},
      {snapshot + R"("msg":[],"msg":{"yes_dollars_fp":"","no_dollars_fp":null}})",
       "orderbook_snapshot seq=null sid=null n=none  yes=no=id=null"},
      {snapshot + R"("seq":true,"seq":" 1_0 ","sid":[1,{"a":-0}],"sid":18446744073709551616})",
       R"(orderbook_snapshot seq=" 1_0 " sid=1.8446744073709552e+19 n=10  yes=no=id=null)"},
      {snapshot + R"("msg":{"market_id":-0.0,"yes_dollars_fp":[["x","1"]]},"msg":{"market_id":1}})",
       "orderbook_snapshot seq=null sid=null n=none  yes=no=id=1"},
      {"", "error: not JSON: EOF while parsing a value at line 1 column 0"},
      {"[1]", "error: not a book message"},
      {R"({"type":"ORDERBOOK_DELTA"})", "error: not a book message"},
      {snapshot + R"("seq":17.0})", "error: seq is not an integer: 17.0"},
      {snapshot + R"("seq":9223372036854775808})",
       "error: seq is not an integer: 9223372036854775808"},
      {snapshot + R"("seq":"1.5"})", R"(error: not an integer: "1.5")"},
      {snapshot + R"("msg":"x"})", R"(error: msg is not an object: "x")"},
      {snapshot + R"("msg":{"market_ticker":[1]}})", "error: not text: [1]"},
      {snapshot + R"("msg":{"yes_dollars_fp":false}})",
       R"(error: "yes_dollars_fp" is not a list: false)"},
      {snapshot + R"("msg":{"no_dollars_fp":[["1","2"],["1","2",3]]}})",
       R"(error: "no_dollars_fp" holds a level that is not a pair: ["1","2",3])"},
      {snapshot + R"("msg":{"yes_dollars_fp":[["0.5","x"]]}})",
       R"(error: not a decimal: "x" (Failed to parse))"},
      // 1 - p must be exact: beyond the Decimal range, or rounded to fit, the frame is refused.
      {snapshot + R"("msg":{"no_dollars_fp":[["-79228162514264337593543950335",1]]}})",
       "error: Subtraction overflowed"},
      {snapshot + R"("msg":{"no_dollars_fp":[["-7.9000000000000000000000000000",1]]}})",
       "error: 1 - -7.9000000000000000000000000000 is not exact"},
      {R"({"type":"orderbook_delta","msg":{"delta_fp":1}})", R"(error: missing "price_dollars")"},
      {R"({"type":"orderbook_delta","msg":{"price_dollars":1,"delta_fp":null}})",
       "error: not a decimal: null"},
  };
  for (const auto& [frame, expected] : cases) {
    const std::string got = describe(decode(frame));
    EXPECT_EQ(got.substr(0, expected.size()), expected) << frame;
  }
  EXPECT_EQ(decode(R"({"type":"orderbook"})").error().code, ErrorCode::kOtherFrame);
}

TEST(KalshiTruthy, FollowsPython) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"null", false},  {"false", false}, {"0", false},        {"-0.0", false}, {R"("")", false},
      {"[]", false},    {"{}", false},    {"true", true},      {"-1", true},    {"0.5", true},
      {R"("0")", true}, {"[0]", true},    {R"({"a":0})", true}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(truthy(parse_json(text).value()), expected) << text;
  }
}

}  // namespace
}  // namespace orvane::kalshi
