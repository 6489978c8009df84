#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json.h"
#include "venue_text.h"
#include "venues/polymarket_us.h"

// That the one-pass and the general reader agree, on these frames and any other, is the venue fuzz
// target's check, and the values the Python model properties draw are theirs (tests/venues); here
// other decoded values and the error texts, one case per message.
namespace orvane {
namespace {

using fuzz::describe;
using fuzz::texts;
namespace pm = polymarket;

TEST(KalshiDecode, Frames) {
  const std::string snapshot = R"({"type":"orderbook_snapshot",)";
  const std::string delta = R"({"type":"orderbook_delta","seq":-4,"msg":{)";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {snapshot + R"("sid":3,"seq":"17","msg":{"market_ticker":"T-1","market_id":"m",)"
                  R"("yes_dollars_fp":[["0.4300","5.00"],[0.42,0]],)"
                  R"("no_dollars_fp":[["0.4500","10"],[{"value":"0.1"},"1"]]}})",
       R"(orderbook_snapshot seq="17" sid=3 n=17 T-1 yes=0.4300:5.00 0.42:0 )"
       R"(no=0.5500:10 0.9:1 id="m")"},
      {delta + R"("side":"yes","price_dollars":0.45,"delta_fp":"-2.5","ts_ms":170,)"
               R"("client_order_id":""}})",
       R"(orderbook_delta seq=-4 sid=null n=-4  ts=170 id="" 0.45 -2.5 side=0)"},
      {delta +
           R"("side":"YES","price_dollars":"1e-3","delta_fp":{"value":"7"},"market_ticker":5}})",
       "orderbook_delta seq=-4 sid=null n=-4 5 ts=null id=null 0.999 7 side=1"},
      {snapshot + R"("msg":null,"seq":null})",
       "orderbook_snapshot seq=null sid=null n=none  yes=no=id=null"},
      {snapshot + R"("seq":true,"seq":" 1_0 ","sid":[1,{"a":-0}],"sid":18446744073709551616})",
       R"(orderbook_snapshot seq=" 1_0 " sid=1.8446744073709552e+19 n=10  yes=no=id=null)"},
      {snapshot + R"("msg":{"market_id":-0.0,"yes_dollars_fp":[["x","1"]]},)"
                  R"("msg":{"market_id":1,"yes_dollars_fp":"","no_dollars_fp":null}})",
       "orderbook_snapshot seq=null sid=null n=none  yes=no=id=1"},
      {"", "error: not JSON: "},
      {snapshot + R"("seq":9223372036854775808})",
       "error: seq is not an integer: 9223372036854775808"},
      {snapshot + R"("msg":"x"})", R"(error: msg is not an object: "x")"},
      {snapshot + R"("msg":{"yes_dollars_fp":false}})",
       R"(error: "yes_dollars_fp" is not a list: false)"},
      {snapshot + R"("msg":{"no_dollars_fp":[["1","2"],["1","2",3]]}})",
       R"(error: "no_dollars_fp" holds a level that is not a pair: ["1","2",3])"},
      // 1 - p must be exact: rounded to fit, the frame is refused.
      {snapshot + R"("msg":{"no_dollars_fp":[["-7.9000000000000000000000000000",1]]}})",
       "error: 1 - -7.9000000000000000000000000000 is not exact"},
      {R"({"type":"orderbook_delta","msg":{"delta_fp":1}})", R"(error: missing "price_dollars")"},
  };
  for (const auto& [frame, expected] : cases)
    EXPECT_EQ(describe(kalshi::decode(frame)).substr(0, expected.size()), expected) << frame;
  EXPECT_EQ(kalshi::decode(R"({"type":"ORDERBOOK_DELTA"})").error(),
            Error(ErrorCode::kOtherFrame, "not a book message"));
}

TEST(OpinionDecode, Frames) {
  const std::string diff = R"({"msgType":"market.depth.diff",)";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {diff + R"("side":"BIDS","price":0.45,"size":"1e1","tokenId":7})", "7 0.45 10 bids"},
      {diff + R"("side":["bids"],"price":"1","size":"2","size":"-1"})", " 1 -1 asks"},
      {"{", "error: not JSON: "},
      {R"({"msgType":"market.depth.DIFF","price":1,"size":1})", "error: not a depth change"},
      {diff + R"("size":1})", R"(error: missing "price")"},
      {diff + R"("price":{"value":"1"},"size":1})", R"(error: not a decimal: {"value":"1"})"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(describe(opinion::decode(text)).substr(0, expected.size()), expected) << text;
  EXPECT_EQ(opinion::decode("{").error().code, ErrorCode::kMalformedJson);
}

// Field values reach Python whole in tests/venues/test_polymarket.py; here, that each event
// converts only the members it uses, whatever the others hold, the side rule, and the first
// problem in array order deciding: a refusal before an error, an error before a refusal.
TEST(PolymarketDecode, ValuesRefusalsAndErrors) {
  const std::string change = R"({"event_type":"price_change","price_changes":[{"price":"0.5",)";
  const std::pair<std::string, std::string> cases[] = {
      {R"([{"event_type":"book","asset_id":"1","timestamp":"1700000000",
      "bids":[{"price":0.5,"size":"0"}],"asks":[{"price":{"value":"0.52"},"size":7}],
      "tick_size":0.01,"price_changes":[{"price":"bad"}],"extra":{"x":[1,2]}},
      {"event_type":"price_change","timestamp":1700000000123,"bids":[{"price":"bad"}],
       "asset_id":[1],"price_changes":[{"asset_id":"a","price":"0.5","size":"3","best_bid":0.4}]}])",
       "book 1  1700000000000 bids=0.5:0 asks=0.52:7 null 0.01 null; "
       "change  1700000000123: a 0.5 3 ask 0.4 null, "},
      {change + R"("size":"1","side":"bUy"}]})", "change  none:  0.5 1 bid null null, "},
      {change + R"("size":"1","side":"\u0062uy"}]})", "change  none:  0.5 1 bid null null, "},
      {change + R"("size":"1","side":"Buy "}]})", "change  none:  0.5 1 ask null null, "},
      {"  [ ]", ""},
      {R"({"event_type":"Book"})", "refused"},
      {R"([{"event_type":"x"},{"event_type":"book","bids":[{"price":"1"}]}])", "refused"},
      {R"([{"event_type":"book","bids":[{"price":"1"}]},{"event_type":"x"}])",
       R"(error: missing "size")"},
      // Reading.
      {"", "error: not a message"},
      {R"({"event_type":"book","bids":"0.5"})",
       "error: invalid type: string, expected an array at line 1 column 29"},
      {R"([{"event_type":"book"},3])",
       "error: invalid type: number, expected an object or an array at line 1 column 24"},
      // Converting; a null is missing. asset_id is converted before the levels, the changes
      // before the market.
      {R"({"event_type":"book","bids":[{"price":"0.5","size":null}]})", R"(error: missing "size")"},
      {R"({"event_type":"book","bids":[{}],"asset_id":{"a":1}})", R"(error: not text: {"a":1})"},
      {R"({"event_type":"price_change","market":[1],"price_changes":[{"price":"1"}]})",
       R"(error: missing "size")"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(describe(pm::decode(text)), expected) << text;
  EXPECT_EQ(pm::decode(R"({"bids":"0.5"})").error().code, ErrorCode::kMalformedFrame);
}

// `agrees` is exercised through pending checks in tests/venues/test_polymarket.py.
TEST(PolymarketVenue, Value) {
  EXPECT_EQ(pm::venue_value(JsonValue::null()), std::nullopt);
  EXPECT_EQ(pm::venue_value(JsonValue::string("")), std::nullopt);
  EXPECT_EQ(pm::venue_value(JsonValue::string(" 0.50 ")), *parse("0.5"));
  EXPECT_EQ(pm::venue_value(JsonValue::floating(0.1)), *parse("0.1"));
  EXPECT_EQ(pm::venue_value(JsonValue::boolean(true)).error().text, "not a price: true");
}

TEST(PolymarketUs, Levels) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"bids":""})", ""},
      {"[1]", ""},
      {R"({"bids":5})", R"("bids" is not a list: 5)"},
      {R"({"bids":[3]})", R"(missing "px")"},
  };
  for (const auto& [text, expected] : cases) {
    const auto read = polymarket_us::levels(*parse_json(text), "bids");
    EXPECT_EQ(read ? texts(*read) : read.error().text, expected) << text;
  }
}

}  // namespace
}  // namespace orvane
