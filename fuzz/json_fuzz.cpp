// The JSON layer: the general reader never fails without the fault scanner naming a fault (or a
// number past the double range); the plain fast reader, whenever it accepts a text, reads the value
// the general reader reads; compact text of an accepted value reads back to the same value.
#include <optional>
#include <string_view>

#include "json/parse.h"
#include "json/plain.h"
#include "json/plain_scalar.h"
#include "json/syntax.h"
#include "json/text.h"
#include "target.h"

namespace {

using orvane::JsonValue;
using orvane::PlainJsonReader;

// The whole value the plain reader gives for the next value, or nothing once it stops.
std::optional<JsonValue> plain_value(PlainJsonReader& reader) {
  const char first = reader.peek();
  if (first == '[') {
    orvane::JsonArray elements;
    const bool ok = reader.array([&] {
      auto element = plain_value(reader);
      if (element) elements.push_back(std::move(*element));
      return element.has_value();
    });
    if (!ok) return std::nullopt;
    return JsonValue::array(std::move(elements));
  }
  if (first == '{') {
    std::vector<orvane::JsonMember> members;
    const bool ok = reader.object([&](std::string_view name) {
      auto value = plain_value(reader);
      if (value) members.push_back({std::string(name), std::move(*value)});
      return value.has_value();
    });
    if (!ok) return std::nullopt;
    return JsonValue::object(std::move(members));
  }
  const auto token = reader.value();
  if (!token) return std::nullopt;
  return orvane::plain_scalar(*token);
}

}  // namespace

FUZZ_TARGET(json) {
  const std::string_view text = orvane::fuzz::text_of(data, size);
  const auto general = orvane::parse_json(text);
  if (!general) {
    FUZZ_CHECK(orvane::find_json_syntax_fault(text) ||
               general.error().starts_with("number out of range") ||
               general.error().starts_with("recursion limit exceeded"));
  } else {
    const auto again = orvane::parse_json(orvane::compact_text(*general));
    FUZZ_CHECK(again && *again == *general);
  }
  PlainJsonReader reader(text);
  const auto plain = plain_value(reader);
  if (plain && reader.at_end()) FUZZ_CHECK(general && *plain == *general);
  return 0;
}
