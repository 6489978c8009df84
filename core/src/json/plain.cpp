#include "json/plain.h"

#include <cstring>

namespace orvane {

namespace {

// A number token longer than this is left to the general reader (a long integer becomes a float
// there, and one beyond the float range is an error).
constexpr std::size_t kMaxNumberLength = 40;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool PlainJsonReader::literal(std::string_view word) {
  if (text_.substr(pos_, word.size()) != word) return fail();
  pos_ += word.size();
  return true;
}

bool PlainJsonReader::number() {
  const std::size_t start = pos_;
  const auto at = [&](std::size_t i) { return i < text_.size() ? text_[i] : '\0'; };
  if (at(pos_) == '-') ++pos_;
  if (at(pos_) == '0') {
    ++pos_;
  } else if (is_digit(at(pos_))) {
    while (is_digit(at(pos_))) ++pos_;
  } else {
    return fail();
  }
  if (at(pos_) == '.') {
    ++pos_;
    if (!is_digit(at(pos_))) return fail();
    while (is_digit(at(pos_))) ++pos_;
  }
  // Exponents go to the general reader, which knows the float range.
  if (at(pos_) == 'e' || at(pos_) == 'E' || pos_ - start > kMaxNumberLength) return fail();
  return true;
}

std::optional<std::string_view> PlainJsonReader::value() {
  const char c = peek();
  const std::size_t start = pos_;
  bool read = false;
  switch (c) {
    case '"':
      read = string().has_value();
      break;
    case '{':
      read = object([&](std::string_view) { return value().has_value(); });
      break;
    case '[':
      read = array([&] { return value().has_value(); });
      break;
    case 't':
      read = literal("true");
      break;
    case 'f':
      read = literal("false");
      break;
    case 'n':
      read = literal("null");
      break;
    default:
      read = (c == '-' || is_digit(c)) ? number() : fail();
      break;
  }
  if (!read) return std::nullopt;
  return text_.substr(start, pos_ - start);
}

std::optional<std::string_view> plain_string_content(std::string_view raw) {
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return std::nullopt;
  const std::string_view content = raw.substr(1, raw.size() - 2);
  if (std::memchr(content.data(), '\\', content.size()) != nullptr) return std::nullopt;
  return content;
}

}  // namespace orvane
