// The JSON layer: the general reader fails exactly where the fault scanner names a fault, with its
// message and position (or on a number past the double range, or too deep); the cursor reader
// accepts what the general reader accepts, fails with the same text, and each raw slice parses on
// its own, from inside the visitor (a nested parse on the reading thread); the plain fast reader,
// whenever it accepts a text, reads the value the general reader reads; compact text of an accepted
// value reads back to the same value.
#include <optional>
#include <string_view>

#include "json/parse.h"
#include "json/plain.h"
#include "json/plain_scalar.h"
#include "json/syntax.h"
#include "json/text.h"
#include "target.h"

namespace {

using orvane::JsonCursor;
using orvane::JsonStatus;
using orvane::JsonValue;
using orvane::PlainJsonReader;

// Goes down through containers; every leaf's raw slice must parse on its own.
JsonStatus visit(JsonCursor& cursor) {
  const auto type = cursor.type();
  if (!type) return std::unexpected(type.error());
  if (*type == orvane::JsonType::Array) return cursor.elements(visit);
  if (*type == orvane::JsonType::Object)
    return cursor.members([](std::string_view, JsonCursor& member) { return visit(member); });
  const auto raw = cursor.raw();
  if (!raw) return std::unexpected(raw.error());
  FUZZ_CHECK(orvane::parse_json(*raw).has_value());
  return {};
}

// The whole value the plain reader gives for the next value, or nothing once it stops.
std::optional<JsonValue> plain_value(PlainJsonReader& reader) {
  const char first = reader.peek();
  if (first != '[' && first != '{') {
    if (const auto token = reader.value()) return orvane::plain_scalar(*token);
    return std::nullopt;
  }
  orvane::JsonArray elements;
  std::vector<orvane::JsonMember> members;
  const auto next = [&](std::string_view name) {
    auto value = plain_value(reader);
    if (!value) return false;
    if (first == '[') elements.push_back(std::move(*value));
    if (first == '{') members.push_back({std::string(name), std::move(*value)});
    return true;
  };
  if (first == '[' ? !reader.array([&] { return next({}); }) : !reader.object(next)) return {};
  return first == '[' ? JsonValue::array(std::move(elements))
                      : JsonValue::object(std::move(members));
}

}  // namespace

FUZZ_TARGET(json) {
  const auto general = orvane::parse_json(text);
  const auto fault = orvane::find_json_syntax_fault(text);
  // Range and depth are the general reader's own refusals, which the scanner does not judge.
  const bool refused = !general && (general.error().text.starts_with("number out of range") ||
                                    general.error().text.starts_with("recursion limit exceeded"));
  if (fault)
    FUZZ_CHECK(!general &&
               (refused || general.error().text ==
                               orvane::json_error_at(text, fault->offset, fault->message)));
  if (!general) {
    FUZZ_CHECK((fault || refused) && general.error().code == orvane::ErrorCode::kMalformedJson);
  } else {
    const auto again = orvane::parse_json(orvane::compact_text(*general));
    FUZZ_CHECK(again && *again == *general);
  }
  const JsonStatus read = orvane::read_json(text, visit);
  FUZZ_CHECK(read.has_value() == general.has_value() && (read || read.error() == general.error()));
  PlainJsonReader reader(text);
  const auto plain = plain_value(reader);
  if (plain && reader.at_end()) FUZZ_CHECK(general && *plain == *general);
  return 0;
}
