#include "json/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace orvane {
namespace {

JsonValue parsed(std::string_view text) {
  auto value = parse_json(text);
  EXPECT_TRUE(value.has_value()) << text << ": " << value.error().text;
  return value ? *value : JsonValue();
}

std::string error_of(std::string_view text) {
  auto value = parse_json(text);
  EXPECT_TRUE(value || value.error().code == ErrorCode::kMalformedJson) << text;
  return value ? "accepted" : value.error().text;
}

// Values and number texts that reach Python are checked against json.loads and float() by
// hypothesis (tests/json/test_pyjson.py), escapes and the 64-bit edges among them; here what they
// cannot see. Parsed or built, an object's members are sorted by name and the last repeat wins.
TEST(JsonValue, ObjectMembersSortedByNameLastRepeatWins) {
  const JsonValue value = parsed(R"({"b":1,"a":[true,null,1.5,"s"],"é":{},"Z":0,"b":2})");
  EXPECT_EQ(compact_text(value), R"({"Z":0,"a":[true,null,1.5,"s"],"b":2,"é":{}})");
  EXPECT_EQ(value.find("b")->as_unsigned(), 2u);
  EXPECT_EQ(value.find("c"), nullptr);
  EXPECT_EQ(parsed("[1]").find("a"), nullptr);
}

TEST(JsonParse, ErrorsNameTheFaultAndWhere) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"\"a\" x", "trailing characters at line 1 column 5"},
      {"[1,2", "EOF while parsing a list at line 1 column 4"},
      {"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"[nul]", "expected ident at line 1 column 5"},
      {"01", "invalid number at line 1 column 2"},
      {"[1e400]", "number out of range at line 1 column 2"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {R"(["\ud800"])", "lone surrogate in hex escape at line 1 column 8"},
      {"\"a\x01\"",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"a\xff\"", "invalid UTF-8 at line 1 column 3"},
      {"[1,\n 2,\n x]", "expected value at line 3 column 2"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(error_of(text), error) << text;
}

TEST(JsonParse, DepthLimit) {
  const auto nested = [](int depth) {
    const auto n = static_cast<std::size_t>(depth);
    return std::string(n, '[') + "1" + std::string(n, ']');
  };
  EXPECT_TRUE(parse_json(nested(kJsonMaxDepth)));
  EXPECT_EQ(error_of(nested(kJsonMaxDepth + 1)), "recursion limit exceeded at line 1 column 129");
  // A far deeper text fails at the limit even where the fault scanner meets it first.
  EXPECT_EQ(error_of(std::string(200000, '[') + "\xff"),
            "recursion limit exceeded at line 1 column 129");
}

// Fixed-notation texts are checked against repr() by hypothesis (tests/json/test_pyjson.py); here
// the exponent forms, the switch to them and the extremes, as CPython writes them.
TEST(JsonText, FloatTextMatchesPythonRepr) {
  const std::pair<double, const char*> cases[] = {
      {1e-5, "1e-05"},
      {1e16, "1e+16"},
      {0x1.1c37937e07fffp+53, "9999999999999998.0"},
      {0x0.0000000000001p-1022, "5e-324"},
      {0x1.fffffffffffffp+1023, "1.7976931348623157e+308"},
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
      {NAN, "nan"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(float_text(value), text);
}

TEST(JsonText, CompactText) {
  EXPECT_EQ(compact_text(parsed(" { \"b\" : [ 1 , -2 , 1e-7 , 2.0 ] , \"a\" : "
                                "\"x\\\"\\\\\\n\\u0001\\u007f\xc3\xa9\" } ")),
            "{\"a\":\"x\\\"\\\\\\n\\u0001\x7f\xc3\xa9\",\"b\":[1,-2,1e-07,2.0]}");
  EXPECT_EQ(compact_text(JsonValue::array(
                {JsonValue::floating(INFINITY), JsonValue::null(), JsonValue::boolean(false)})),
            "[null,null,false]");
  EXPECT_EQ(number_text(JsonValue::integer(INT64_MIN)), "-9223372036854775808");
}

TEST(JsonString, DecodesOneLiteral) {
  std::string scratch;
  const std::string_view plain = "\"0.45\"  ";
  const std::string_view view = decode_json_string(plain, scratch).value();
  EXPECT_EQ(view, "0.45");
  EXPECT_EQ(view.data(), plain.data() + 1);  // no escape: no copy
  EXPECT_EQ(decode_json_string(R"("a\"b\ud83d\ude00")").value(), "a\"b\xf0\x9f\x98\x80");
  EXPECT_EQ(decode_json_string("12").error().text, "expected a string at line 1 column 1");
}

// ---- Reading through a cursor ----

TEST(JsonReader, RecordsRejectRepeatedFieldsAndSkipOthers) {
  static constexpr std::string_view kNames[] = {"price", "size"};
  const auto read = [](std::string_view text) -> std::expected<std::string, Error> {
    std::string out;
    const auto status = read_json(text, [&](JsonCursor& root) {
      return root.elements([&](JsonCursor& level) {
        return level.record(kNames, [&](std::size_t index, JsonCursor& value) -> JsonStatus {
          const auto raw = value.raw();
          if (!raw) return std::unexpected(raw.error());
          out += std::string(kNames[index]) + "=" + std::string(*raw) + ";";
          return {};
        });
      });
    });
    if (!status) return std::unexpected(status.error());
    return out;
  };
  EXPECT_EQ(read(R"([{"x":1,"size":"2","x":[3],"price":0.5},["1","2"]])").value(),
            "size=\"2\";price=0.5;price=\"1\";size=\"2\";");
  // A shape the record refuses is valid JSON: a frame fault, not a syntax fault.
  EXPECT_EQ(read(R"([{"price":"1","size":"2","price":"3"}])").error(),
            Error(ErrorCode::kMalformedFrame, "duplicate field `price` at line 1 column 34"));
  EXPECT_EQ(read(R"([["1"]])").error().text,
            "invalid length 1, expected 2 elements at line 1 column 2");
  // A fault inside a value of the wrong type is reported as the fault, and so is one inside a
  // member the record does not read.
  EXPECT_EQ(read(R"("\x")").error(),
            Error(ErrorCode::kMalformedJson, "invalid escape at line 1 column 3"));
  EXPECT_EQ(read(R"([{"other":[1,,2],"price":1}])").error().text,
            "expected value at line 1 column 14");
}

// Members read as raw slices of the text (null as none), decoded strings or values; a visitor's own
// error gets the member's position.
TEST(JsonReader, MembersAsRawSlicesStringsOrValues) {
  const std::string text = R"({"a": [ 1 ] ,"b":null,"c":"s\u0062","v":{"z":1,"y":[2]},"n":3})";
  std::string got;
  auto status = read_json(text, [&](JsonCursor& root) {
    return root.members([&](std::string_view name, JsonCursor& value) -> JsonStatus {
      if (name == "a") {
        const auto raw = value.raw_unless_null().value();
        EXPECT_EQ(raw->data(), text.data() + text.find('['));  // a slice, not a copy
        got += std::string(*raw);
      }
      if (name == "b") got += value.raw_unless_null().value() ? "?" : ";null;";
      if (name == "c") got += std::string(value.string().value_or("?"));
      if (name == "v") got += compact_text(value.value().value_or(JsonValue()));
      if (name == "n") return std::unexpected(value.error("bad n"));
      return {};
    });
  });
  EXPECT_EQ(got, R"([ 1 ];null;sb{"y":[2],"z":1})");
  EXPECT_EQ(status.error().text, "bad n at line 1 column 61");

  // A value may be read once; the failure sticks whatever the visitor returns.
  status = read_json("[1]", [&](JsonCursor& root) -> JsonStatus {
    EXPECT_TRUE(root.skip());
    EXPECT_FALSE(root.raw());
    return {};
  });
  EXPECT_EQ(status.error().text, "a JSON value was read twice");
}

}  // namespace
}  // namespace orvane
