#include "venues/polymarket.h"

#include <gtest/gtest.h>

#include <random>

#include "json/parse.h"
#include "json/plain.h"
#include "venues/polymarket_us.h"

namespace orvane {
namespace {

namespace pm = polymarket;

Decimal dec(std::string_view text) { return *parse(text); }

std::vector<pm::Message> messages(std::string_view text) {
  auto decoded = pm::decode(text);
  EXPECT_TRUE(decoded.has_value()) << text << ": " << decoded.error();
  if (!decoded) return {};
  const auto* list = std::get_if<std::vector<pm::Message>>(&*decoded);
  EXPECT_NE(list, nullptr) << text << " was refused";
  return list != nullptr ? *list : std::vector<pm::Message>{};
}

std::string error_of(std::string_view text) {
  auto decoded = pm::decode(text);
  if (decoded) return "decoded";
  return decoded.error();
}

bool refused(std::string_view text) {
  auto decoded = pm::decode(text);
  return decoded && std::holds_alternative<pm::Refusal>(*decoded);
}

// Field values reach Python whole in tests/test_polymarket.py; here, that each event converts only
// the members it uses, whatever the others hold.
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
  EXPECT_EQ(change.changes.at(0).best_bid, JsonValue::floating(0.4));
  EXPECT_TRUE(change.changes.at(0).best_ask.is_null());
}

TEST(PolymarketDecode, SideRule) {
  const std::pair<const char*, Side> cases[] = {
      {R"("side":"BUY")", Side::Bid},  {R"("side":"buy")", Side::Bid},
      {R"("side":"bUy")", Side::Bid},  {R"("side":"\u0062uy")", Side::Bid},
      {R"("side":"Buy ")", Side::Ask}, {R"("side":"SELL")", Side::Ask},
      {R"("side":null)", Side::Ask},   {R"("x":1)", Side::Ask},
      {R"("side":true)", Side::Ask},   {R"("side":["BUY"])", Side::Ask},
  };
  for (const auto& [member, side] : cases) {
    const std::string text = std::string(R"({"event_type":"price_change","price_changes":[{)") +
                             member + R"(,"price":"0.5","size":"1"}]})";
    const auto m = messages(text);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(std::get<pm::PriceChange>(m[0]).changes.at(0).side, side) << member;
  }
}

TEST(PolymarketDecode, EmptyFramesAndRefusals) {
  EXPECT_TRUE(messages("  [ ]").empty());
  EXPECT_TRUE(
      refused(R"([{"event_type":"book","asset_id":"a"},{"event_type":"tick_size_change"}])"));
  EXPECT_TRUE(refused(R"({"event_type":"Book"})"));
  EXPECT_TRUE(refused(R"({"event_type":"PRICE_CHANGE"})"));
  EXPECT_TRUE(refused(R"({})"));
  EXPECT_TRUE(refused(R"([])") == false);
  // The first problem in array order decides: a refusal before an error, an error before a refusal.
  EXPECT_TRUE(refused(R"([{"event_type":"x"},{"event_type":"book","bids":[{"price":"1"}]}])"));
  EXPECT_EQ(error_of(R"([{"event_type":"book","bids":[{"price":"1"}]},{"event_type":"x"}])"),
            R"(missing "size")");
}

TEST(PolymarketDecode, ReadErrors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "not a message"},
      {"null", "not a message"},
      {"\"book\"", "not a message"},
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
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(error_of(text), error) << text;
}

TEST(PolymarketDecode, ConversionErrors) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"event_type":"book","bids":[{"price":"0.5"}]})", R"(missing "size")"},
      {R"({"event_type":"book","bids":[{"price":"0.5","size":null}]})", R"(missing "size")"},
      {R"({"event_type":"book","asks":[{"size":"1"}]})", R"(missing "price")"},
      {R"({"event_type":"book","timestamp":"1.5"})", R"(not an integer: "1.5")"},
      // asset_id is converted before the levels.
      {R"({"event_type":"book","bids":[{}],"asset_id":{"a":1}})", R"(not text: {"a":1})"},
      {R"({"event_type":"price_change","market":[1],"price_changes":[{"price":"1"}]})",
       R"(missing "size")"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(error_of(text), error) << text;
}

// `agrees` is exercised through pending checks in tests/test_polymarket.py.
TEST(PolymarketVenue, Value) {
  EXPECT_EQ(pm::venue_value(JsonValue::null()), std::nullopt);
  EXPECT_EQ(pm::venue_value(JsonValue::string("")), std::nullopt);
  EXPECT_EQ(pm::venue_value(JsonValue::string(" 0.50 ")), dec("0.5"));
  EXPECT_EQ(pm::venue_value(JsonValue::floating(0.1)), dec("0.1"));
  EXPECT_EQ(pm::venue_value(JsonValue::boolean(true)).error(), "not a price: true");
  EXPECT_EQ(pm::venue_value(JsonValue::array({JsonValue::integer(1)})).error(), "not a price: [1]");
  EXPECT_EQ(pm::venue_value(JsonValue::string("x")).error(),
            R"(not a decimal: "x" (Failed to parse))");
}

TEST(PolymarketUs, Levels) {
  const auto levels = [](std::string_view text) -> std::string {
    const auto read = polymarket_us::levels(*parse_json(text), "bids");
    if (!read) return read.error();
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

// Random edits of a text: deleted, inserted, replaced and doubled bytes, JSON's own characters and
// the ones the one-pass reader leaves to the general reader (escapes, non-ASCII, exponents).
std::vector<std::string> mutations(const std::string& base, int count) {
  static const std::string kAlphabet = "{}[]\":,0123456789.-+eE \\nulltrfs\t\x01\xc3\xa9";
  std::mt19937 rng(20240607);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    std::string text = base;
    for (int edits = 1 + int(rng() % 3); edits > 0 && !text.empty(); --edits) {
      const size_t at = rng() % text.size();
      const char c = kAlphabet[rng() % kAlphabet.size()];
      switch (rng() % 4) {
        case 0:
          text.erase(at, 1);
          break;
        case 1:
          text.insert(text.begin() + long(at), c);
          break;
        case 2:
          text[at] = c;
          break;
        default:
          text.insert(at, text.substr(at, rng() % 24));
          break;
      }
    }
    out.push_back(std::move(text));
  }
  return out;
}

const char* const kFrames[] = {
    R"({"event_type":"book","asset_id":"123","market":"0xm","timestamp":"1700000000000",
        "bids":[{"price":"0.48","size":"10"},{"price":0.5,"size":"0"}],"asks":[],"hash":"0xh",
        "tick_size":"0.01","last_trade_price":null,"extra":{"x":[1,-2.5,true,false,null]}})",
    R"([{"event_type":"price_change","market":"m","timestamp":1700000000123,"price_changes":[
        {"asset_id":"a","side":"BUY","price":"0.5","size":"3","best_bid":"0.5","best_ask":null,
         "hash":"0x1"},{"asset_id":"b","side":"sell","price":"0.6","size":0,"best_bid":0.4}]},
       {"event_type":"tick_size_change","asset_id":"a"}])",
};

TEST(PolymarketPlain, ReadsWhatTheGeneralReaderReads) {
  size_t accepted = 0;
  for (const char* frame : kFrames) {
    ASSERT_TRUE(pm::read_plain(frame).has_value()) << frame;
    for (const std::string& text : mutations(frame, 4000)) {
      const auto plain = pm::read_plain(text);
      if (!plain) continue;
      ++accepted;
      const auto general = pm::read(text);
      ASSERT_TRUE(general.has_value()) << text << ": " << general.error();
      ASSERT_EQ(*plain, *general) << text;
    }
  }
  EXPECT_GT(accepted, 500u);  // the edits keep many texts well formed
  // Shapes left to the general reader.
  for (const char* text :
       {R"({"event_type":"b\u006fok"})", "{\"market\":\"\xc3\xa9\"}", R"({"timestamp":1e3})",
        R"({"bids":[["1","2"]]})", R"({"market":1,"market":2})", R"({"event_type":5})", "{} x"}) {
    EXPECT_FALSE(pm::read_plain(text).has_value()) << text;
  }
}

TEST(PolymarketUs, OnePassDecodingAgrees) {
  const std::string frame =
      R"({"marketData":{"marketSlug":"s","bids":[{"px":{"value":"0.5","currency":"USD"},"qty":"10"},
          {"px":"0.4","qty":3}],"offers":[{"px":{"value":0.6},"qty":{"value":"1"}}],
          "state":"OPEN","stats":{"open":[1,2]},"transactTime":"2025-01-01T00:00:00Z"},"x":null})";
  ASSERT_TRUE(polymarket_us::decode_plain(frame).has_value());
  size_t accepted = 0;
  for (const std::string& text : mutations(frame, 6000)) {
    const auto plain = polymarket_us::decode_plain(text);
    if (!plain) continue;
    ++accepted;
    const auto parsed = parse_json(text);
    ASSERT_TRUE(parsed.has_value()) << text << ": " << parsed.error();
    const auto general = polymarket_us::decode(*parsed);
    ASSERT_EQ(plain->has_value(), general.has_value()) << text;
    if (general) {
      ASSERT_EQ(**plain, *general) << text;
    } else {
      ASSERT_EQ(plain->error(), general.error()) << text;
    }
  }
  EXPECT_GT(accepted, 500u);
}

}  // namespace
}  // namespace orvane
