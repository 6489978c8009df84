// ScalarFields<N>: the members a record reads off an object frame, declared once as a table of
// names and read by either reader with the same outcome, so that the two cannot drift apart.
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
#include <string_view>
#include <utility>

#include "json/parse.h"
#include "json/plain.h"
#include "json/plain_scalar.h"
#include "json/value.h"

namespace orvane {

template <std::size_t N>
class ScalarFields {
 public:
  using Names = std::array<std::string_view, N>;
  using Values = std::array<std::optional<JsonValue>, N>;

  // `names` outlives the fields (a constant table of the record).
  explicit ScalarFields(const Names& names) : names_(names) {}

  // Fills the values from `raw`. Error: the general reader's message for a text that is not JSON.
  JsonStatus read(std::string_view raw) {
    if (read_plain(raw)) return {};
    values_ = Values();
    return read_json(raw, [&](JsonCursor& root) { return read_general(root); });
  }

  // In the order of the names; absent members are empty.
  const Values& values() const { return values_; }

 private:
  std::optional<JsonValue>* slot(std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
      if (name == names_[i]) return &values_[i];
    }
    return nullptr;
  }

  bool read_plain(std::string_view raw) {
    PlainJsonReader r(raw);
    if (r.peek() != '{') return false;
    const bool read = r.object([&](std::string_view name) {
      const auto token = r.value();
      if (!token) return false;
      std::optional<JsonValue>* target = slot(name);
      if (target == nullptr) return true;
      *target = plain_scalar(*token);
      return target->has_value();
    });
    return read && r.at_end();
  }

  JsonStatus read_general(JsonCursor& root) {
    auto kind = root.type();
    if (!kind) return std::unexpected(std::move(kind.error()));
    if (*kind != JsonType::Object) return {};
    return root.members([&](std::string_view name, JsonCursor& member) -> JsonStatus {
      std::optional<JsonValue>* target = slot(name);
      if (target == nullptr) return {};
      auto value = member.value();
      if (!value) return std::unexpected(std::move(value.error()));
      *target = std::move(*value);
      return {};
    });
  }

  const Names& names_;
  Values values_;
};

}  // namespace orvane
