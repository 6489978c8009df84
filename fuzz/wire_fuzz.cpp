// The wire scalar readers on any text, taken as text, as a raw field, and as a parsed JSON value:
// no reader fails except with a value, a raw text and a parsed value agree; an integer refused
// names the text quoted; the empty text of a value is Python's falsiness, as the Kalshi id reads
// it.
#include <string_view>

#include "json/parse.h"
#include "target.h"
#include "text/quoted.h"
#include "venues/kalshi.h"
#include "wire/wire.h"

FUZZ_TARGET(wire) {
  namespace wire = orvane::wire;
  (void)wire::parse_decimal(text);
  const auto n = wire::parse_int(text);
  FUZZ_CHECK(n || n.error() == orvane::Error(orvane::ErrorCode::kMalformedFrame,
                                             "not an integer: " + orvane::quoted_form(text)));
  const wire::Raw raw = text;
  const auto value = wire::value(raw);
  const auto decimal = wire::decimal_raw(raw, "price");
  const auto ms = wire::polymarket_ms_raw(raw);
  const auto words = wire::text_raw(raw);
  if (value) {
    const auto shown = wire::text_or_empty(*value);
    FUZZ_CHECK(orvane::kalshi::truthy(*value) == !(shown && shown->empty()));
  }
  if (value && !text.starts_with('"')) {
    // Other than a quoted string, a raw field reads as its parsed value does.
    const auto from_value = wire::decimal(*value);
    FUZZ_CHECK(decimal.has_value() == from_value.has_value());
    if (decimal) FUZZ_CHECK(decimal->same_representation(*from_value));
    FUZZ_CHECK(ms == wire::polymarket_ms(*value));
    FUZZ_CHECK(words == wire::text_or_empty(*value));
    (void)wire::plain_decimal(*value);
    (void)wire::decimal_at(*value, "value");
  }
  return 0;
}
