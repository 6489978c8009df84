#include "venues/polymarket.h"

#include <gtest/gtest.h>

#include "json/parse.h"
#include "venues/polymarket_us.h"

namespace orvane {
namespace {

namespace pm = polymarket;

Decimal dec(std::string_view text) { return *parse(text); }

std::vector<pm::Message> messages(std::string_view text) {
  auto decoded = pm::decode(text);
  EXPECT_TRUE(decoded.has_value()) << text << ": " << decoded.error().text;
  if (!decoded) return {};
  auto* list = std::get_if<std::vector<pm::Message>>(&*decoded);
  EXPECT_NE(list, nullptr) << text << " was refused";
  return list != nullptr ? std::move(*list) : std::vector<pm::Message>{};  // views stay valid
}

// "refused", the number of messages, or the error.
std::string outcome(std::string_view text) {
  const auto decoded = pm::decode(text);
  if (!decoded) return decoded.error().text;
  const auto* list = std::get_if<std::vector<pm::Message>>(&*decoded);
  return list != nullptr ? std::to_string(list->size()) + " messages" : "refused";
}

// Field values reach Python whole in tests/venues/test_polymarket.py; here, that each event
// converts only the members it uses, whatever the others hold.
TEST(PolymarketDecode, EachEventReadsOnlyItsMembers) {
  const auto m = messages(R"([{"event_type":"book","asset_id":"1","timestamp":"1700000000",
      "bids":[{"price":0.5,"size":"0"}],"asks":[{"price":{"value":"0.52"},"size":7}],
      "tick_size":0.01,"price_changes":[{"price":"bad"}],"extra":{"x":[1,2]}},
      {"event_type":"price_change","timestamp":1700000000123,"bids":[{"price":"bad"}],
       "asset_id":[1],"price_changes":[{"asset_id":"a","price":"0.5","size":"3","best_bid":0.4}]}])");
  ASSERT_EQ(m.size(), 2u);
  const auto& book = std::get<pm::BookMessage>(m[0]);
  EXPECT_EQ(book.timestamp, 1700000000000);
  EXPECT_EQ(book.bids.size(), 1u);  // zero sizes are the book's business
  EXPECT_TRUE(book.asks.at(0).first.same_representation(dec("0.52")));
  EXPECT_EQ(book.tick_size, JsonValue::floating(0.01));
  EXPECT_TRUE(book.last_trade_price.is_null());
  const auto& change = std::get<pm::PriceChange>(m[1]);
  EXPECT_EQ(change.timestamp, 1700000000123);
  EXPECT_EQ(change.changes.at(0).best_bid.json(), JsonValue::floating(0.4));
  EXPECT_TRUE(change.changes.at(0).best_ask.json().is_null());
}

TEST(PolymarketDecode, SideRule) {
  const std::pair<const char*, Side> cases[] = {
      {R"("side":"bUy")", Side::Bid},  {R"("side":"\u0062uy")", Side::Bid},
      {R"("side":"Buy ")", Side::Ask}, {R"("side":null)", Side::Ask},
      {R"("x":1)", Side::Ask},         {R"("side":["BUY"])", Side::Ask},
  };
  for (const auto& [member, side] : cases) {
    const std::string text = std::string(R"({"event_type":"price_change","price_changes":[{)") +
                             member + R"(,"price":"0.5","size":"1"}]})";
    const auto m = messages(text);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(std::get<pm::PriceChange>(m[0]).changes.at(0).side, side) << member;
  }
}

TEST(PolymarketDecode, RefusalsAndErrors) {
  const std::pair<const char*, const char*> cases[] = {
      {"  [ ]", "0 messages"},
      {R"([{"event_type":"book","asset_id":"a"},{"event_type":"tick_size_change"}])", "refused"},
      {R"({"event_type":"Book"})", "refused"},
      {R"({})", "refused"},
      // The first problem in array order decides: a refusal before an error, an error before a
      // refusal.
      {R"([{"event_type":"x"},{"event_type":"book","bids":[{"price":"1"}]}])", "refused"},
      {R"([{"event_type":"book","bids":[{"price":"1"}]},{"event_type":"x"}])", R"(missing "size")"},
      // Reading.
      {"", "not a message"},
      {"null", "not a message"},
      {"\xc2\xa0{}", "expected value at line 1 column 1"},
      {"{} x", "trailing characters at line 1 column 4"},
      {R"({"bids":[],"bids":[]})", "duplicate field `bids` at line 1 column 19"},
      {R"({"event_type":"book","bids":"0.5"})",
       "invalid type: string, expected an array at line 1 column 29"},
      {R"({"event_type":5})", "invalid type: number, expected a string at line 1 column 15"},
      {R"([{"event_type":"book"},3])",
       "invalid type: number, expected an object or an array at line 1 column 24"},
      {R"({"price_changes":[{"side":1,"side":2}]})", "duplicate field `side` at line 1 column 36"},
      {R"({"event_type":"book","bids":[{"price":"1","size":"2"}})",
       "expected `,` or `]` at line 1 column 54"},
      // Converting.
      {R"({"event_type":"book","bids":[{"price":"0.5"}]})", R"(missing "size")"},
      {R"({"event_type":"book","bids":[{"price":"0.5","size":null}]})", R"(missing "size")"},
      {R"({"event_type":"book","asks":[{"size":"1"}]})", R"(missing "price")"},
      {R"({"event_type":"book","timestamp":"1.5"})", R"(not an integer: "1.5")"},
      // asset_id is converted before the levels.
      {R"({"event_type":"book","bids":[{}],"asset_id":{"a":1}})", R"(not text: {"a":1})"},
      {R"({"event_type":"price_change","market":[1],"price_changes":[{"price":"1"}]})",
       R"(missing "size")"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(outcome(text), expected) << text;
  EXPECT_EQ(pm::decode(R"({"event_type":5})").error().code, ErrorCode::kMalformedFrame);
}

// `agrees` is exercised through pending checks in tests/venues/test_polymarket.py.
TEST(PolymarketVenue, Value) {
  EXPECT_EQ(pm::venue_value(JsonValue::null()), std::nullopt);
  EXPECT_EQ(pm::venue_value(JsonValue::string("")), std::nullopt);
  EXPECT_EQ(pm::venue_value(JsonValue::string(" 0.50 ")), dec("0.5"));
  EXPECT_EQ(pm::venue_value(JsonValue::floating(0.1)), dec("0.1"));
  EXPECT_EQ(pm::venue_value(JsonValue::boolean(true)).error().text, "not a price: true");
  EXPECT_EQ(pm::venue_value(JsonValue::array({JsonValue::integer(1)})).error().text,
            "not a price: [1]");
  EXPECT_EQ(pm::venue_value(JsonValue::string("x")).error().text,
            R"(not a decimal: "x" (Failed to parse))");
}

TEST(PolymarketUs, Levels) {
  const auto levels = [](std::string_view text) -> std::string {
    const auto read = polymarket_us::levels(*parse_json(text), "bids");
    if (!read) return read.error().text;
    return read->empty() ? "" : to_text(read->front().first) + ":" + to_text(read->front().second);
  };
  EXPECT_EQ(levels(R"({"bids":""})"), "");
  EXPECT_EQ(levels(R"({"bids":null})"), "");
  EXPECT_EQ(levels(R"([1])"), "");
  EXPECT_EQ(levels(R"({"bids":5})"), R"("bids" is not a list: 5)");
  EXPECT_EQ(levels(R"({"bids":[3]})"), R"(missing "px")");
  EXPECT_EQ(levels(R"({"bids":[{"px":1}]})"), R"(missing "qty")");
  EXPECT_EQ(levels(R"({"bids":[{"px":{"value":"0.5"},"qty":10}]})"), "0.5:10");
}

}  // namespace
}  // namespace orvane
