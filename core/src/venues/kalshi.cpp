#include "venues/kalshi.h"

#include <array>
#include <limits>
#include <utility>

#include "json/fields.h"
#include "json/json.h"
#include "json/plain.h"
#include "json/plain_scalar.h"
#include "text/concat.h"
#include "text/quoted.h"
#include "wire/wire.h"

namespace orvane::kalshi {

namespace {

constexpr Decimal kOne = Decimal::from_integer(1);

// 1 - p at p's scale. A result that had to drop digits to fit is not exact: refused, like any
// arithmetic the stream's own decimal handling would do differently. Either way the frame's price
// is what is refused, so both failures are kInvalidDecimal.
std::expected<Decimal, Error> complement(const Decimal& price) {
  if (const auto exact = one_minus(price)) return *exact;
  auto result = sub(kOne, price);
  if (!result) {
    return std::unexpected(Error(ErrorCode::kInvalidDecimal, std::move(result.error().text)));
  }
  if (result->scale() != price.scale()) {
    return std::unexpected(
        Error(ErrorCode::kInvalidDecimal, concat("1 - ", to_text(price), " is not exact")));
  }
  return *result;
}

bool empty_text(const JsonValue& v) {
  return v.kind() == JsonKind::String && v.as_string().empty();
}

std::expected<std::optional<int64_t>, Error> read_seq(const JsonValue* seq) {
  if (seq == nullptr || seq->is_null()) return std::nullopt;
  switch (seq->kind()) {
    case JsonKind::Unsigned:
      if (seq->as_unsigned() <= uint64_t(std::numeric_limits<int64_t>::max())) {
        return int64_t(seq->as_unsigned());
      }
      break;
    case JsonKind::Negative:
      return seq->as_negative();
    case JsonKind::String:
      return wire::parse_int(seq->as_string());
    default:
      break;
  }
  return std::unexpected(
      Error(ErrorCode::kMalformedFrame, concat("seq is not an integer: ", compact_text(*seq))));
}

Error not_a_pair(std::string_view key, const JsonValue& level) {
  return Error(
      ErrorCode::kMalformedFrame,
      concat(quoted_form(key), " holds a level that is not a pair: ", compact_text(level)));
}

std::expected<Level, Error> level_of(std::expected<Decimal, Error> price,
                                     std::expected<Decimal, Error> size, bool complement_price) {
  if (!price) return std::unexpected(std::move(price.error()));
  if (complement_price) {
    price = complement(*price);
    if (!price) return std::unexpected(std::move(price.error()));
  }
  if (!size) return std::unexpected(std::move(size.error()));
  return Level{*price, *size};
}

std::expected<LevelList, Error> read_pairs(const JsonValue* list, std::string_view key,
                                           bool complement_prices) {
  if (list == nullptr || list->is_null() || empty_text(*list)) return LevelList{};
  if (list->kind() != JsonKind::Array) {
    return std::unexpected(
        Error(ErrorCode::kMalformedFrame,
              concat(quoted_form(key), " is not a list: ", compact_text(*list))));
  }
  LevelList out;
  out.reserve(list->as_array().size());
  for (const JsonValue& level : list->as_array()) {
    if (level.kind() != JsonKind::Array || level.as_array().size() != 2) {
      return std::unexpected(not_a_pair(key, level));
    }
    auto pair = level_of(wire::decimal(level.as_array()[0]), wire::decimal(level.as_array()[1]),
                         complement_prices);
    if (!pair) return std::unexpected(std::move(pair.error()));
    out.push_back(*pair);
  }
  return out;
}

// One item of a level on the fast path: a string, the usual shape, stays a view into the frame's
// text; another scalar is built.
struct Item {
  std::optional<std::string_view> text;
  JsonValue built;

  std::expected<Decimal, Error> decimal() const {
    return text ? wire::parse_decimal(*text) : wire::decimal(built);
  }
};

// A body that is absent, or one of the falsy values a Python handler's `msg or {}` replaces, is an
// empty object; so is a member that is absent from it.
std::expected<void, Error> check_body(const JsonValue& msg) {
  switch (msg.kind()) {
    case JsonKind::Null:
      return {};
    case JsonKind::Bool:
      if (!msg.as_bool()) return {};
      break;
    case JsonKind::String:
      if (msg.as_string().empty()) return {};
      break;
    case JsonKind::Array:
      if (msg.as_array().empty()) return {};
      break;
    default:
      break;
  }
  return std::unexpected(
      Error(ErrorCode::kMalformedFrame, concat("msg is not an object: ", compact_text(msg))));
}

// The members a book message reads, besides the level lists.
enum Top { kType, kSeq, kSid };
enum Body { kTicker, kMarketId, kPrice, kDeltaFp, kSide, kTs, kClientOrderId };
constexpr std::array<std::string_view, 3> kTopNames = {"type", "seq", "sid"};
constexpr std::array<std::string_view, 7> kBodyNames = {
    "market_ticker", "market_id", "price_dollars", "delta_fp", "side", "ts_ms", "client_order_id"};

// The members a book message needs, read straight off the text: only they are built as values,
// never the whole frame. A repeated name keeps its last value, as a parsed object would, and a
// repeated "msg" replaces the whole body.
struct Frame {
  FieldSlots<kTopNames> top;
  FieldSlots<kBodyNames> body;
  // The YES and NO lists; absent ones are empty.
  std::expected<LevelList, Error> yes, no;

  JsonStatus read(JsonCursor& root) {
    auto kind = root.type();
    if (!kind) return std::unexpected(std::move(kind.error()));
    if (*kind != JsonType::Object) return {};
    object_ = true;
    return root.members([&](std::string_view name, JsonCursor& member) -> JsonStatus {
      if (name == "msg") return read_body(member);
      return top.take(member, name);
    });
  }

  // The fast path, for frames of the usual shape: plain ASCII without escapes or exponents, a body
  // given once, levels that are pairs of scalars. False for any other frame, which `read` (on a
  // fresh Frame) then decides.
  bool read_plain(std::string_view raw) {
    PlainJsonReader r(raw);
    if (r.peek() != '{') return false;
    object_ = true;
    bool body_read = false;
    const bool read = r.object([&](std::string_view name) {
      if (name != "msg") return top.take_plain(r, name);
      if (body_read || r.peek() != '{') return false;
      body_read = true;
      return r.object([&](std::string_view member) {
        if (member == "yes_dollars_fp") return plain_levels(r, false, yes);
        if (member == "no_dollars_fp") return plain_levels(r, true, no);
        return body.take_plain(r, member);
      });
    });
    return read && r.at_end();
  }

  bool object() const { return object_; }
  const std::optional<Error>& body_error() const { return body_error_; }

 private:
  JsonStatus read_body(JsonCursor& msg) {
    body.clear();
    body_error_.reset();
    yes = no = LevelList{};
    auto kind = msg.type();
    if (!kind) return std::unexpected(std::move(kind.error()));
    if (*kind == JsonType::Object) {
      return msg.members([&](std::string_view name, JsonCursor& member) -> JsonStatus {
        if (name == "yes_dollars_fp" || name == "no_dollars_fp") {
          auto list = member.value();
          if (!list) return std::unexpected(std::move(list.error()));
          const bool complement_prices = name == "no_dollars_fp";
          (complement_prices ? no : yes) = read_pairs(&*list, name, complement_prices);
          return {};
        }
        return body.take(member, name);
      });
    }
    auto value = msg.value();
    if (!value) return std::unexpected(std::move(value.error()));
    if (auto checked = check_body(*value); !checked) body_error_ = std::move(checked.error());
    return {};
  }

  static bool plain_item(PlainJsonReader& r, Item& item) {
    if (r.peek() == '"') {
      item.text = r.string();
      return item.text.has_value();
    }
    const auto token = r.value();
    if (!token) return false;
    auto value = plain_scalar(*token);
    if (!value) return false;
    item.built = std::move(*value);
    return true;
  }

  static bool plain_levels(PlainJsonReader& r, bool complement_prices,
                           std::expected<LevelList, Error>& out) {
    out = LevelList{};
    if (r.peek() == 'n') return r.value().has_value();
    if (r.peek() != '[') return false;
    // `keep` for two values already read: wrapping them in `expected`s costs 4% of a snapshot.
    const auto keep_plain = [&](const Decimal& price, const Decimal& size) {
      if (!complement_prices) {
        out->emplace_back(price, size);
        return;
      }
      auto yes_price = complement(price);
      if (yes_price) {
        out->emplace_back(*yes_price, size);
      } else {
        out = std::unexpected(std::move(yes_price.error()));
      }
    };
    const auto keep = [&](std::expected<Decimal, Error> price, std::expected<Decimal, Error> size) {
      auto pair = level_of(std::move(price), std::move(size), complement_prices);
      if (pair) {
        out->push_back(*pair);
      } else {
        out = std::unexpected(std::move(pair.error()));
      }
    };
    return r.array([&] {
      // The usual level: two strings of plain digits, read as they are scanned.
      if (const auto level = r.literal_pair(wire::simple_decimal_literal)) {
        if (out) keep_plain(level->first, level->second);
        return true;
      }
      if (const auto texts = r.string_pair()) {  // two other strings
        if (out) keep(wire::parse_decimal(texts->first), wire::parse_decimal(texts->second));
        return true;
      }
      Item items[2];
      size_t count = 0;
      if (r.peek() != '[' || !r.array([&] { return count < 2 && plain_item(r, items[count++]); }) ||
          count != 2) {
        return false;
      }
      if (!out) return true;  // an earlier level failed; the rest is only validated
      keep(items[0].decimal(), items[1].decimal());
      return true;
    });
  }

  std::optional<Error> body_error_;
  bool object_ = false;
};

std::expected<Book, Error> read_snapshot(Frame& frame, std::string ticker) {
  if (!frame.yes) return std::unexpected(std::move(frame.yes.error()));
  if (!frame.no) return std::unexpected(std::move(frame.no.error()));
  return Snapshot{std::move(ticker), std::move(*frame.yes), std::move(*frame.no),
                  frame.body.json(kMarketId)};
}

std::expected<Decimal, Error> decimal_member(const Frame& frame, Body field,
                                             std::string_view name) {
  if (const auto text = frame.body.text(field)) return wire::parse_decimal(*text);
  const JsonValue* value = frame.body.value(field);
  if (value == nullptr) {
    return std::unexpected(
        Error(ErrorCode::kMalformedFrame, concat("missing ", quoted_form(name))));
  }
  return wire::decimal(*value);
}

std::expected<Book, Error> read_delta(const Frame& frame, std::string ticker) {
  auto price = decimal_member(frame, kPrice, "price_dollars");
  if (!price) return std::unexpected(std::move(price.error()));
  auto delta = decimal_member(frame, kDeltaFp, "delta_fp");
  if (!delta) return std::unexpected(std::move(delta.error()));
  const bool yes = frame.body.text(kSide) == "yes";
  if (!yes) {
    price = complement(*price);
    if (!price) return std::unexpected(std::move(price.error()));
  }
  return Delta{std::move(ticker),
               frame.body.json(kTs),
               frame.body.json(kClientOrderId),
               *price,
               *delta,
               yes ? Side::Bid : Side::Ask};
}

}  // namespace

std::expected<Message, Error> decode(std::string_view raw) {
  Frame frame;
  if (!frame.read_plain(raw)) {
    frame = Frame();
    const JsonStatus read = read_json(raw, [&](JsonCursor& root) { return frame.read(root); });
    if (!read) {
      return std::unexpected(Error(read.error().code, concat("not JSON: ", read.error().text)));
    }
  }
  const auto type = frame.top.text(kType);
  if (!frame.object() || !type || (*type != kSnapshot && *type != kDelta)) {
    const ErrorCode code = frame.object() ? ErrorCode::kOtherFrame : ErrorCode::kMalformedFrame;
    return std::unexpected(Error(code, "not a book message"));
  }
  const std::string_view kind = *type == kSnapshot ? kSnapshot : kDelta;
  const auto seq_text = frame.top.text(kSeq);
  auto seq_number = seq_text
                        ? std::expected<std::optional<int64_t>, Error>(wire::parse_int(*seq_text))
                        : read_seq(frame.top.value(kSeq));
  if (!seq_number) return std::unexpected(std::move(seq_number.error()));
  if (frame.body_error()) return std::unexpected(*frame.body_error());
  const auto ticker_text = frame.body.text(kTicker);
  auto ticker = ticker_text ? std::expected<std::string, Error>(std::string(*ticker_text))
                            : wire::text_or_empty(frame.body.value(kTicker));
  if (!ticker) return std::unexpected(std::move(ticker.error()));
  auto book = kind == kSnapshot ? read_snapshot(frame, std::move(*ticker))
                                : read_delta(frame, std::move(*ticker));
  if (!book) return std::unexpected(std::move(book.error()));
  return Message{*seq_number, std::move(*book), frame.top.json(kSid), frame.top.json(kSeq), kind};
}

std::expected<LevelList, Error> pairs(const JsonValue& msg, std::string_view key,
                                      bool complement_prices) {
  return read_pairs(msg.find(key), key, complement_prices);
}

bool truthy(const JsonValue& value) {
  switch (value.kind()) {
    case JsonKind::Null:
      return false;
    case JsonKind::Bool:
      return value.as_bool();
    case JsonKind::Unsigned:
      return value.as_unsigned() != 0;
    case JsonKind::Negative:
      return true;
    case JsonKind::Float:
      return value.as_float() != 0.0;  // NaN is true, as in Python
    case JsonKind::String:
      return !value.as_string().empty();
    case JsonKind::Array:
      return !value.as_array().empty();
    case JsonKind::Object:
      return !value.as_object().empty();
  }
  return false;
}

void apply(orvane::Book& book, const Snapshot& snapshot) {
  book.replace(snapshot.yes, snapshot.no);
}

std::expected<Level, Error> apply(orvane::Book& book, const Delta& delta) {
  auto size = book.add(delta.side, delta.price, delta.delta);
  if (!size) return std::unexpected(std::move(size.error()));
  return Level{delta.price, *size};
}

}  // namespace orvane::kalshi
