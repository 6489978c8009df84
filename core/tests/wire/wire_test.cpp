#include "wire/wire.h"

#include <gtest/gtest.h>

#include "json/json.h"

namespace orvane::wire {
namespace {

// Successful results as canonical Decimal text, failures as their message.
template <typename T>
std::string shown(const std::expected<T, Error>& result) {
  if (!result) return "error: " + result.error().text;
  if constexpr (std::is_same_v<T, Decimal>) return to_text(*result);
  if constexpr (std::is_same_v<T, std::optional<int64_t>>)
    return *result ? std::to_string(**result) : "none";
  if constexpr (std::is_same_v<T, int64_t>) return std::to_string(*result);
  if constexpr (std::is_same_v<T, std::string>) return *result;
}

JsonValue json(std::string_view text) { return parse_json(text).value(); }

using Case = std::pair<std::string, std::string>;  // the input, and what it shows

// The grammar and its reasons are decimal_test's; here the trimming and the message around them.
TEST(WireParseDecimal, TrimsAndQuotes) {
  const Case cases[] = {
      {" 0.45 ", "0.45"},
      {"\xc2\xa0-0.010\xe3\x80\x80", "-0.010"},  // NBSP and ideographic space are trimmed
      {"0.5\"\n", "error: not a decimal: \"0.5\\\"\" (Failed to parse)"},
  };
  for (const Case& c : cases) EXPECT_EQ(shown(parse_decimal(c.first)), c.second) << c.first;
  EXPECT_EQ(parse_decimal(" abc\t").error(),
            Error(ErrorCode::kInvalidDecimal, "not a decimal: \"abc\" (Failed to parse)"));
}

TEST(WireDecimal, JsonShapes) {
  EXPECT_EQ(shown(plain_decimal(json("18446744073709551615"))), "18446744073709551615");
  const Case unwrapped[] = {
      {"{\"value\":\" 2 \"}", "2"},
      {"{}", "error: not a decimal: null"},
      {"{\"value\":{\"value\":\"1\"}}", "error: not a decimal: {\"value\":\"1\"}"},
  };
  for (const Case& c : unwrapped) EXPECT_EQ(shown(decimal(json(c.first))), c.second) << c.first;

  EXPECT_EQ(shown(decimal_at(json("{}"), "pri\"ce\n")), "error: missing \"pri\\\"ce\\n\"");
}

// Other than quoted strings, a raw field reads as its parsed value does (the wire fuzz target).
TEST(WireDecimal, RawFields) {
  EXPECT_EQ(shown(decimal_raw("\"0\\u002e5\"", "size")), "0.5");
  EXPECT_EQ(shown(decimal_raw(std::nullopt, "size")), "error: missing \"size\"");
  // Text that is not JSON, and JSON that is not the field asked for, fail as such.
  EXPECT_EQ(decimal_raw("nul", "size").error().code, ErrorCode::kMalformedJson);
  EXPECT_EQ(decimal_raw("true", "size").error().code, ErrorCode::kMalformedFrame);
}

TEST(WireParseInt, Boundaries) {
  const Case cases[] = {
      {"_5_", "5"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"000000000000000000000000042", "42"},
      {"9223372036854775808", "error: not an integer: \"9223372036854775808\""},
      {"-9223372036854775809", "error: not an integer: \"-9223372036854775809\""},
  };
  for (const Case& c : cases) EXPECT_EQ(shown(parse_int(c.first)), c.second) << c.first;
}

TEST(WirePolymarketMs, SecondsOrMilliseconds) {
  const Case cases[] = {
      {"1700000000", "1700000000000"},
      {"\"1700000000\"", "1700000000000"},
      {"100000000000", "100000000000000"},
      {"100000000001", "100000000001"},
      {"\"\"", "none"},
      {"null", "none"},
      {"\" \"", "error: not an integer: \" \""},
      {"9223372036854775808", "error: not an integer: 9223372036854775808"},
      {"-9300000000000000", "error: timestamp out of range: -9300000000000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown(polymarket_ms(json(c.first))), c.second) << c.first;
    EXPECT_EQ(shown(polymarket_ms_raw(c.first)), c.second) << c.first;
  }
  EXPECT_EQ(shown(polymarket_ms_raw(std::nullopt)), "none");
  EXPECT_EQ(shown(polymarket_ms_raw("\"17\\u0030\"")), "170000");
}

// text_raw reads these as text_or_empty does: the wire fuzz target, on these texts as seeds.
TEST(WireText, FalsyValuesAreEmpty) {
  const Case cases[] = {
      {"false", ""},
      {"true", "True"},
      {"0", ""},
      {"-0.0", ""},
      {"7", "7"},
      {"1e-7", "1e-07"},
      {"[]", ""},
      {"{}", ""},
      {"{\"b\":1,\"a\":[]}", "error: not text: {\"a\":[],\"b\":1}"},
  };
  for (const Case& c : cases) EXPECT_EQ(shown(text_or_empty(json(c.first))), c.second) << c.first;
  EXPECT_EQ(shown(text_or_empty(nullptr)), "");
  EXPECT_EQ(shown(text_raw(std::nullopt)), "");
  EXPECT_EQ(shown(text_raw(R"("a\"b")")), "a\"b");
}

}  // namespace
}  // namespace orvane::wire
