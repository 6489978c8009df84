#include "json/plain_scalar.h"

#include <string>

#include "json/number.h"

namespace orvane {

std::optional<JsonValue> plain_scalar(std::string_view token) {
  if (token.empty()) return std::nullopt;
  switch (token.front()) {
    case '"':
      return JsonValue::string(std::string(token.substr(1, token.size() - 2)));
    case 't':
      return JsonValue::boolean(true);
    case 'f':
      return JsonValue::boolean(false);
    case 'n':
      return JsonValue::null();
    case '[':
    case '{':
      return std::nullopt;
    default:
      return json_number(token);
  }
}

}  // namespace orvane
