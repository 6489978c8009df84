#include "json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace orvane {
namespace {

JsonValue parsed(std::string_view text) {
  auto value = parse_json(text);
  EXPECT_TRUE(value.has_value()) << text << ": " << value.error();
  return value ? *value : JsonValue();
}

std::string error_of(std::string_view text) {
  auto value = parse_json(text);
  return value ? "accepted" : value.error();
}

TEST(JsonParse, ScalarAndNumberForms) {
  struct Case {
    const char* text;
    JsonValue expected;
  };
  const Case cases[] = {
      {"null\n", JsonValue::null()},
      {" false\r\n", JsonValue::boolean(false)},
      {"0", JsonValue::unsigned_integer(0)},
      {"-0", JsonValue::unsigned_integer(0)},
      {"18446744073709551615", JsonValue::unsigned_integer(18446744073709551615u)},
      {"9223372036854775808", JsonValue::unsigned_integer(9223372036854775808u)},
      {"-1", JsonValue::integer(-1)},
      {"-9223372036854775808", JsonValue::integer(INT64_MIN)},
      {"18446744073709551616", JsonValue::floating(18446744073709551616.0)},
      {"-9223372036854775809", JsonValue::floating(-9223372036854775809.0)},
      {"123456789012345678901234567890", JsonValue::floating(1.2345678901234568e29)},
      {"1e2", JsonValue::floating(100.0)},
      {"0.1", JsonValue::floating(0.1)},
      {"1E-400", JsonValue::floating(0.0)},
      {"[ 1 , -2.5e3 ]",
       JsonValue::array({JsonValue::unsigned_integer(1), JsonValue::floating(-2500)})},
  };
  for (const Case& c : cases) {
    const JsonValue value = parsed(c.text);
    EXPECT_EQ(value.kind(), c.expected.kind()) << c.text;
    EXPECT_EQ(value, c.expected) << c.text;
  }
  EXPECT_TRUE(std::signbit(parsed("-0.0").as_float()));
}

TEST(JsonParse, ObjectMembersSortedByNameLastRepeatWins) {
  const JsonValue value = parsed(R"({"b":1,"a":[true,null,1.5,"s"],"é":{},"Z":0,"b":2})");
  std::vector<std::string> names;
  for (const JsonMember& member : value.as_object()) names.push_back(member.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Z", "a", "b", "é"}));
  EXPECT_EQ(value.find("b")->as_unsigned(), 2u);
  EXPECT_EQ(value.find("c"), nullptr);
  EXPECT_EQ(parsed("[1]").find("a"), nullptr);
  EXPECT_EQ(compact_text(value), R"({"Z":0,"a":[true,null,1.5,"s"],"b":2,"é":{}})");
}

TEST(JsonValue, ObjectFactorySortsAndKeepsTheLastRepeat) {
  std::vector<JsonMember> members;
  for (const char* name : {"d", "b", "a", "b", "c", "a"}) {
    members.push_back({name, JsonValue::integer(static_cast<int64_t>(members.size()))});
  }
  EXPECT_EQ(compact_text(JsonValue::object(members)), R"({"a":5,"b":3,"c":4,"d":0})");
  std::vector<JsonMember> many;
  for (int i = 40; i-- > 0;) many.push_back({std::to_string(i % 20), JsonValue::integer(i)});
  const JsonValue big = JsonValue::object(std::move(many));
  ASSERT_EQ(big.as_object().size(), 20u);
  EXPECT_EQ(big.find("7")->as_unsigned(), 7u);  // 27 came first, 7 last
}

TEST(JsonParse, StringsDecodeEscapesAndUtf8) {
  EXPECT_EQ(parsed(R"("a\"b\\\/\b\f\n\r\t\u00e9\ud83d\ude00\u0000")").as_string(),
            std::string("a\"b\\/\b\f\n\r\t\xc3\xa9\xf0\x9f\x98\x80\0", 17));
  EXPECT_EQ(parsed("{\"k\\u0041\":\"\xe2\x82\xac\"}").find("kA")->as_string(), "\xe2\x82\xac");
}

TEST(JsonParse, ErrorsNameTheFaultAndWhere) {
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"  ", "EOF while parsing a value at line 1 column 2"},
      {"\"a\" x", "trailing characters at line 1 column 5"},
      {"{} {}", "trailing characters at line 1 column 4"},
      {"[1]]", "trailing characters at line 1 column 4"},
      {"true false", "trailing characters at line 1 column 6"},
      {"falsee", "trailing characters at line 1 column 6"},
      {"[1,2", "EOF while parsing a list at line 1 column 4"},
      {"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"{\"a\":1,}", "trailing comma at line 1 column 8"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"[,1]", "expected value at line 1 column 2"},
      {"[nul]", "expected ident at line 1 column 5"},
      {"01", "invalid number at line 1 column 2"},
      {"-x", "invalid number at line 1 column 2"},
      {"[1e400]", "number out of range at line 1 column 2"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {R"("\x")", "invalid escape at line 1 column 3"},
      {R"("\u12")", "invalid escape at line 1 column 6"},
      {R"(["\ud800"])", "lone surrogate in hex escape at line 1 column 8"},
      {R"("\udc00\ud800")", "lone surrogate in hex escape at line 1 column 7"},
      {"\"a\x01\"",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"a\xff\"", "invalid UTF-8 at line 1 column 3"},
      {"\"\xed\xa0\x80\"", "invalid UTF-8 at line 1 column 2"},  // an encoded surrogate
      {"[\xff]", "expected value at line 1 column 2"},
      {"[1,\n 2,\n x]", "expected value at line 3 column 2"},
      {"[1,\n", "EOF while parsing a list at line 2 column 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(error_of(c.text), c.error) << c.text;
}

TEST(JsonParse, DepthLimit) {
  const auto nested = [](int depth, char open, char close, const std::string& inner) {
    std::string text;
    for (int i = 0; i < depth; ++i)
      text += open == '{' ? std::string("{\"k\":") : std::string(1, open);
    text += inner;
    text.append(static_cast<std::size_t>(depth), close);
    return text;
  };
  EXPECT_TRUE(parse_json(nested(kJsonMaxDepth, '[', ']', "1")));
  EXPECT_EQ(error_of(nested(kJsonMaxDepth + 1, '[', ']', "1")),
            "recursion limit exceeded at line 1 column 129");
  EXPECT_TRUE(parse_json(nested(kJsonMaxDepth, '{', '}', "1")));
  EXPECT_EQ(error_of(nested(kJsonMaxDepth + 1, '{', '}', "1")),
            "recursion limit exceeded at line 1 column 641");
  // Far deeper texts fail at the limit whether the fast parser or the fault scanner meets them.
  EXPECT_EQ(error_of(std::string(200000, '[')), "recursion limit exceeded at line 1 column 129");
  EXPECT_EQ(error_of(std::string(200000, '[') + "\xff"),
            "recursion limit exceeded at line 1 column 129");
}

// Whatever a mutated text is, the fast parser and the fault scanner agree on accepting it (except
// for numbers beyond the double range, which the scanner does not judge), a rejection carries the
// scanner's message and position, and the cursor reader agrees with both.
TEST(JsonParse, AgreesWithTheFaultScannerOnMutatedTexts) {
  std::mt19937 random(12345);
  const std::vector<std::string> atoms = {
      "0",    "-12",  "3.5e-2",   "-0.0E+1",     "18446744073709551616", "true", "false",
      "null", "\"\"", "\"a\\n\"", "\"\\u00e9\"", "\"\xc3\xa9\"",         "[]",   "{}"};
  const std::string noise = "[]{},:\"\\ -+.0123456789eEtrufalsn\x01\xff\xc3\n\r\t/u";
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::function<std::string(int)> generate = [&](int depth) -> std::string {
    const std::size_t kind = depth > 3 ? 0 : pick(3);
    if (kind == 0) return atoms[pick(atoms.size())];
    std::string text(1, kind == 1 ? '[' : '{');
    const std::size_t count = pick(4);
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) text += pick(2) ? "," : " , ";
      if (kind == 2) text += "\"k" + std::to_string(pick(3)) + "\":";
      text += generate(depth + 1);
    }
    return text + (kind == 1 ? ']' : '}');
  };
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text = generate(0);
    for (std::size_t edits = pick(3); edits > 0 && !text.empty(); --edits) {
      const std::size_t at = pick(text.size());
      switch (pick(3)) {
        case 0:
          text.erase(at, 1);
          break;
        case 1:
          text.insert(at, 1, noise[pick(noise.size())]);
          break;
        default:
          text[at] = noise[pick(noise.size())];
      }
    }
    const auto value = parse_json(text);
    const auto fault = find_json_syntax_fault(text);
    if (fault) {
      ASSERT_FALSE(value) << text;
      ASSERT_EQ(value.error(), json_error_at(text, fault->offset, fault->message)) << text;
    } else if (!value) {
      ASSERT_TRUE(value.error().starts_with("number out of range at ")) << text;
    }
    accepted += value.has_value();

    // The cursor reader, going down through containers and taking raw text at the leaves, agrees
    // too; each raw slice parses to the value it came from.
    std::function<JsonStatus(JsonCursor&)> visit = [&](JsonCursor& cursor) -> JsonStatus {
      const auto type = cursor.type();
      if (!type) return std::unexpected(type.error());
      if (*type == JsonType::Array) return cursor.elements(visit);
      if (*type == JsonType::Object) {
        return cursor.members([&](std::string_view, JsonCursor& member) { return visit(member); });
      }
      const auto raw = cursor.raw();
      if (!raw) return std::unexpected(raw.error());
      EXPECT_TRUE(parse_json(*raw)) << *raw;
      return {};
    };
    const JsonStatus read = read_json(text, visit);
    ASSERT_EQ(read.has_value(), value.has_value()) << text;
    if (!read) {
      ASSERT_EQ(read.error(), value.error()) << text;
    }
    const JsonStatus whole = read_json(text, [&](JsonCursor& root) -> JsonStatus {
      const auto raw = root.raw();
      if (raw && value) {
        EXPECT_EQ(parse_json(*raw).value(), *value) << text;
      }
      return {};
    });
    ASSERT_EQ(whole.has_value(), value.has_value()) << text;
  }
  EXPECT_GT(accepted, 2000);
  EXPECT_LT(accepted, 18000);
}

TEST(JsonText, FloatTextMatchesPythonRepr) {
  // repr() of each double, from CPython.
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0x0.0p+0, "0.0"},
      {-0x0.0p+0, "-0.0"},
      {0x1.0000000000000p+0, "1.0"},
      {-0x1.0000000000000p+0, "-1.0"},
      {0x1.8000000000000p+0, "1.5"},
      {0x1.9000000000000p+6, "100.0"},
      {0x1.999999999999ap-4, "0.1"},
      {0x1.3333333333334p-2, "0.30000000000000004"},
      {0x1.5555555555555p-2, "0.3333333333333333"},
      {0x1.a36e2eb1c432dp-14, "0.0001"},
      {0x1.4f8b588e368f1p-17, "1e-05"},
      {0x1.01f31f46ed246p-13, "0.000123"},
      {0x1.ad7f29abcaf48p-24, "1e-07"},
      {0x1.421f5f40d8376p-23, "1.5e-07"},
      {0x1.c6bf526340000p+49, "1000000000000000.0"},
      {0x1.1c37937e08000p+53, "1e+16"},
      {0x1.aa535d3d0c000p+53, "1.5e+16"},
      {0x1.c12218377de66p+46, "123456789012345.6"},
      {0x1.18b54f22aeb03p+50, "1234567890123456.8"},
      {0x1.1c37937e07fffp+53, "9999999999999998.0"},
      {0x1.0f0cf064dd592p+73, "1e+22"},
      {0x1.52d02c7e14af6p+76, "1e+23"},
      {0x0.0000000000001p-1022, "5e-324"},
      {0x1.0000000000000p-1022, "2.2250738585072014e-308"},
      {0x1.fffffffffffffp+1023, "1.7976931348623157e+308"},
      {0x1.1c304cd8df800p+53, "9999000000000000.0"},
      {0x1.249ad2594c37dp+332, "1e+100"},
      {-0x1.12e0be826d695p-32, "-2.5e-10"},
      {0x1.ccccccccccccdp-2, "0.45"},
      {0x1.1666666666666p+2, "4.35"},
      {0x1.0000000000000p+53, "9007199254740992.0"},
      {0x1.0000000000000p+63, "9.223372036854776e+18"},
      {0x1.b1ae4d6e2ef50p+69, "1e+21"},
      {0x1.0000000000001p+0, "1.0000000000000002"},
      {0x1.9999999999999p-1, "0.7999999999999999"},
      {-0x1.74de452e6b438p+811, "-1.989032661366619e+244"},
      {0x1.3270e269e0d37p+594, "7.761117632285041e+178"},
      {0x1.c7fd0a6a3a450p-826, "3.980498358697587e-249"},
      {-0x1.f0824128b2f33p+292, "-1.5432835417340557e+88"},
      {0x1.8e811892f902bp-638, "1.3647584518757569e-192"},
      {-0x1.1985d5d9dc9f8p-684, "-1.3701135617873088e-206"},
      {-0x1.afa444d07dbf8p+19, "-884002.1504505863"},
      {0x1.d0bbbb24d45c0p+13, "14871.466378840501"},
      {-0x1.c3aa15dc16262p+19, "-925008.6831160302"},
      {-0x1.033250fb807b4p+17, "-132708.6326752283"},
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
      {NAN, "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(float_text(c.value), c.text);
}

TEST(JsonText, CompactText) {
  EXPECT_EQ(compact_text(parsed(" { \"b\" : [ 1 , -2 , 1e-7 , 2.0 ] , \"a\" : "
                                "\"x\\\"\\\\\\n\\u0001\\u007f\xc3\xa9\" } ")),
            "{\"a\":\"x\\\"\\\\\\n\\u0001\x7f\xc3\xa9\",\"b\":[1,-2,1e-07,2.0]}");
  EXPECT_EQ(compact_text(JsonValue::array(
                {JsonValue::floating(INFINITY), JsonValue::null(), JsonValue::boolean(false)})),
            "[null,null,false]");
  EXPECT_EQ(number_text(JsonValue::integer(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(number_text(JsonValue::unsigned_integer(UINT64_MAX)), "18446744073709551615");
}

TEST(JsonString, DecodesOneLiteral) {
  std::string scratch;
  const std::string_view plain = "\"0.45\"  ";
  const auto view = decode_json_string(plain, scratch);
  ASSERT_TRUE(view);
  EXPECT_EQ(*view, "0.45");
  EXPECT_EQ(view->data(), plain.data() + 1);  // no escape: no copy
  EXPECT_EQ(decode_json_string(R"("a\"b\ud83d\ude00")").value(), "a\"b\xf0\x9f\x98\x80");
  EXPECT_EQ(decode_json_string("\"ab\" x").error(), "trailing characters at line 1 column 6");
  EXPECT_EQ(decode_json_string("\"ab").error(), "EOF while parsing a string at line 1 column 3");
  EXPECT_EQ(decode_json_string("").error(), "EOF while parsing a value at line 1 column 0");
  EXPECT_EQ(decode_json_string("12").error(), "expected a string at line 1 column 1");
}

// ---- Reading through a cursor ----

TEST(JsonReader, RawMembersAreSlicesOfTheText) {
  const std::string text = R"({"a": 1 , "b":{"x":[1, 2]} ,"c":"s\"","d":null, "e" : [ ] })";
  std::vector<std::pair<std::string, std::optional<std::string_view>>> seen;
  const auto status = read_json(text, [&](JsonCursor& root) {
    return root.members([&](std::string_view name, JsonCursor& value) -> JsonStatus {
      auto raw = value.raw_unless_null();
      if (!raw) return std::unexpected(raw.error());
      seen.emplace_back(std::string(name), *raw);
      return {};
    });
  });
  ASSERT_TRUE(status) << status.error();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].second, "1");
  EXPECT_EQ(seen[1].second, R"({"x":[1, 2]})");
  EXPECT_EQ(seen[2].second, R"("s\"")");
  EXPECT_EQ(seen[3].second, std::nullopt);
  EXPECT_EQ(seen[4].second, "[ ]");
  EXPECT_EQ(seen[1].second->data(), text.data() + text.find("{\"x\""));
  EXPECT_EQ(read_json(" 12 ",
                      [](JsonCursor& root) -> JsonStatus {
                        const auto raw = root.raw();
                        EXPECT_EQ(raw.value_or("?"), "12");
                        return {};
                      }),
            JsonStatus());
}

TEST(JsonReader, RecordsRejectRepeatedFieldsAndSkipOthers) {
  static constexpr std::string_view kNames[] = {"price", "size"};
  const auto read = [](std::string_view text) -> std::expected<std::string, std::string> {
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
  EXPECT_EQ(read(R"([{"price":"1","size":"2","price":"3"}])").error(),
            "duplicate field `price` at line 1 column 34");
  EXPECT_EQ(read(R"([["1"]])").error(), "invalid length 1, expected 2 elements at line 1 column 2");
  EXPECT_EQ(read(R"([["1","2","3"]])").error(),
            "invalid length 3, expected 2 elements at line 1 column 2");
  EXPECT_EQ(read(R"([5])").error(),
            "invalid type: number, expected an object or an array at line 1 column 2");
  EXPECT_EQ(read(R"({"price":1})").error(),
            "invalid type: object, expected an array at line 1 column 1");
  // A fault inside a value of the wrong type is reported as the fault, and so is one inside a
  // member the record does not read.
  EXPECT_EQ(read(R"("\x")").error(), "invalid escape at line 1 column 3");
  EXPECT_EQ(read(R"([{"other":[1,,2],"price":1}])").error(), "expected value at line 1 column 14");
  EXPECT_EQ(read(R"([{"price":1}] x)").error(), "trailing characters at line 1 column 15");
}

TEST(JsonReader, StringsValuesAndVisitorErrors) {
  std::string got;
  auto status = read_json(R"({"t":"a\u0062","v":{"z":1,"y":[2]},"n":3})", [&](JsonCursor& root) {
    return root.members([&](std::string_view name, JsonCursor& value) -> JsonStatus {
      if (name == "t") got += std::string(value.string().value_or("?"));
      if (name == "v") got += compact_text(value.value().value_or(JsonValue()));
      if (name == "n") return std::unexpected(value.error("bad n"));
      return {};
    });
  });
  EXPECT_EQ(got, R"(ab{"y":[2],"z":1})");
  EXPECT_EQ(status.error(), "bad n at line 1 column 40");

  // A value may be read once; the failure sticks whatever the visitor returns.
  status = read_json("[1]", [&](JsonCursor& root) -> JsonStatus {
    EXPECT_TRUE(root.skip());
    EXPECT_FALSE(root.raw());
    return {};
  });
  EXPECT_EQ(status.error(), "a JSON value was read twice");
  EXPECT_EQ(read_json("[1]",
                      [](JsonCursor& root) -> JsonStatus {
                        return std::unexpected(std::string(root.string().error()));
                      })
                .error(),
            "invalid type: array, expected a string at line 1 column 1");
}

TEST(JsonReader, NestedParsingOnOneThread) {
  // A visitor that parses another text gets a parser of its own; the outer read goes on intact.
  std::string inner;
  const auto status = read_json(R"({"a":"[1, 2]","b":"x"})", [&](JsonCursor& root) {
    return root.members([&](std::string_view name, JsonCursor& value) -> JsonStatus {
      const auto text = value.string();
      if (!text) return std::unexpected(text.error());
      if (name == "a") inner = compact_text(parse_json(*text).value());
      if (name == "b") inner += std::string(*text);
      return {};
    });
  });
  ASSERT_TRUE(status) << status.error();
  EXPECT_EQ(inner, "[1,2]x");
  // The thread's parser is reused across calls of different sizes.
  EXPECT_TRUE(parse_json(std::string(100000, ' ') + "[1]"));
  EXPECT_EQ(compact_text(parsed("[2]")), "[2]");
}

}  // namespace
}  // namespace orvane
