// FieldSlots and ScalarFields: the members a record reads off an object, declared once as a table
// of names and read by either reader with the same outcome, so that the two cannot drift apart.
//
// The plain reader (json/plain.h) takes frames that are plain (ASCII, no escapes, no exponents)
// and whose wanted members are scalars, straight off the text; for any other text the fields are
// cleared and the general reader (json/parse.h) decides and words the outcome. A repeated name
// keeps its last value, as a parsed object would; a text that is not an object leaves every member
// absent.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "json/parse.h"
#include "json/plain.h"
#include "json/plain_scalar.h"
#include "json/value.h"

namespace orvane {

// The index of `name` in `names`; names.size() when it is not there.
template <std::size_t N>
std::size_t field_index(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (same_name(name, names[i])) return i;
  }
  return N;
}

// The values of the members named in `kNames` (a constant table of the record), filled member by
// member by either reader.
template <const auto& kNames>
class FieldSlots {
 public:
  static constexpr std::size_t N = kNames.size();

  // The general reader's member `name`: read when listed, else left for the cursor to skip.
  JsonStatus take(JsonCursor& member, std::string_view name) {
    const std::size_t i = field_index(kNames, name);
    if (i == N) return {};
    auto value = member.value();
    if (!value) return std::unexpected(std::move(value.error()));
    texts_[i].reset();
    values_[i] = std::move(*value);
    return {};
  }

  // The plain reader's member `name`, whose value comes next: false when it is not a scalar and
  // listed, or stops the reader. A string has no escapes here: its content is a view, nothing is
  // built.
  bool take_plain(PlainJsonReader& r, std::string_view name) {
    const auto token = r.scalar();
    if (!token) return false;
    const std::size_t i = field_index(kNames, name);
    if (i == N) return true;
    if (token->front() == '"') {
      values_[i].reset();
      texts_[i] = token->substr(1, token->size() - 2);
      return true;
    }
    texts_[i].reset();
    values_[i] = plain_scalar(*token);
    return values_[i].has_value();
  }

  void clear() { *this = FieldSlots(); }

  // Member `i` (in the order of the names): whether it was given, the content of a string member
  // (a view into the frame on the plain path, else into the built value), the built value of any
  // other member (nullptr for a plain string or an absent member), and the member as a value (null
  // when absent).
  bool present(std::size_t i) const { return texts_[i] || values_[i]; }
  std::optional<std::string_view> text(std::size_t i) const {
    if (texts_[i]) return texts_[i];
    if (values_[i] && values_[i]->kind() == JsonKind::String) return values_[i]->as_string();
    return std::nullopt;
  }
  const JsonValue* value(std::size_t i) const { return values_[i] ? &*values_[i] : nullptr; }
  JsonValue json(std::size_t i) const {
    if (texts_[i]) return JsonValue::string(std::string(*texts_[i]));
    return values_[i] ? *values_[i] : JsonValue();
  }

 private:
  std::array<std::optional<JsonValue>, N> values_;
  std::array<std::optional<std::string_view>, N> texts_;
};

// A record that is the frame itself.
template <const auto& kNames>
class ScalarFields : public FieldSlots<kNames> {
 public:
  // Fills the values from `raw`. Error: the general reader's message for a text that is not JSON.
  JsonStatus read(std::string_view raw) {
    if (read_plain(raw)) return {};
    this->clear();
    return read_json(raw, [&](JsonCursor& root) -> JsonStatus {
      auto kind = root.type();
      if (!kind) return std::unexpected(std::move(kind.error()));
      if (*kind != JsonType::Object) return {};
      return root.members(
          [&](std::string_view name, JsonCursor& member) { return this->take(member, name); });
    });
  }

 private:
  bool read_plain(std::string_view raw) {
    PlainJsonReader r(raw);
    if (r.peek() != '{') return false;
    return r.object([&](std::string_view name) { return this->take_plain(r, name); }) && r.at_end();
  }
};

}  // namespace orvane
