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
    texts_ = Texts();
    return read_json(raw, [&](JsonCursor& root) { return read_general(root); });
  }

  // Member `i` (in the order of the names): whether it was given, the content of a string member
  // (a view into the frame on the plain path, else into the built value), and the built value of
  // any other member (nullptr for a plain string or an absent member).
  bool present(std::size_t i) const { return texts_[i] || values_[i]; }
  std::optional<std::string_view> text(std::size_t i) const {
    if (texts_[i]) return texts_[i];
    if (values_[i] && values_[i]->kind() == JsonKind::String) return values_[i]->as_string();
    return std::nullopt;
  }
  const JsonValue* value(std::size_t i) const { return values_[i] ? &*values_[i] : nullptr; }

 private:
  static constexpr std::size_t kNone = N;
  std::size_t slot(std::string_view name) const {
    for (std::size_t i = 0; i < N; ++i) {
      if (name == names_[i]) return i;
    }
    return kNone;
  }

  bool read_plain(std::string_view raw) {
    PlainJsonReader r(raw);
    if (r.peek() != '{') return false;
    const bool read = r.object([&](std::string_view name) {
      const auto token = r.value();
      if (!token) return false;
      const std::size_t i = slot(name);
      if (i == kNone) return true;
      // A string has no escapes here: its content is a view, nothing is built.
      if (token->front() == '"') {
        values_[i].reset();
        texts_[i] = token->substr(1, token->size() - 2);
        return true;
      }
      texts_[i].reset();
      values_[i] = plain_scalar(*token);
      return values_[i].has_value();
    });
    return read && r.at_end();
  }

  JsonStatus read_general(JsonCursor& root) {
    auto kind = root.type();
    if (!kind) return std::unexpected(std::move(kind.error()));
    if (*kind != JsonType::Object) return {};
    return root.members([&](std::string_view name, JsonCursor& member) -> JsonStatus {
      const std::size_t i = slot(name);
      if (i == kNone) return {};
      auto value = member.value();
      if (!value) return std::unexpected(std::move(value.error()));
      values_[i] = std::move(*value);
      return {};
    });
  }

  using Texts = std::array<std::optional<std::string_view>, N>;

  const Names& names_;
  Values values_;
  Texts texts_;
};

}  // namespace orvane
