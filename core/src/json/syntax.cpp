#include "json/syntax.h"

#include <algorithm>

#include "json/string.h"

namespace orvane {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::optional<JsonSyntaxFault> document() {
    if (!value(0)) return fault_;
    skip_space();
    if (pos_ != text_.size()) return JsonSyntaxFault{"trailing characters", pos_};
    return std::nullopt;
  }

 private:
  bool fail(std::string_view message, std::size_t offset) {
    fault_ = JsonSyntaxFault{message, offset};
    return false;
  }
  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }
  void skip_space() {
    while (!at_end() && is_json_space(peek())) ++pos_;
  }

  bool value(int depth) {
    skip_space();
    if (at_end()) return fail("EOF while parsing a value", pos_);
    switch (peek()) {
      case '[':
        return container(depth, ']');
      case '{':
        return container(depth, '}');
      case '"':
        return string();
      case 't':
        return ident("true");
      case 'f':
        return ident("false");
      case 'n':
        return ident("null");
      default:
        if (peek() == '-' || is_digit(peek())) return number();
        return fail("expected value", pos_);
    }
  }

  bool container(int depth, char close) {
    const bool object = close == '}';
    const std::string_view eof =
        object ? "EOF while parsing an object" : "EOF while parsing a list";
    if (depth + 1 > kJsonMaxDepth) return fail("recursion limit exceeded", pos_);
    ++pos_;
    skip_space();
    if (!at_end() && peek() == close) {
      ++pos_;
      return true;
    }
    bool after_comma = false;
    while (true) {
      skip_space();
      if (at_end()) return fail(eof, pos_);
      if (after_comma && peek() == close) return fail("trailing comma", pos_);
      if (object) {
        if (peek() != '"') return fail("key must be a string", pos_);
        if (!string()) return false;
        skip_space();
        if (at_end()) return fail(eof, pos_);
        if (peek() != ':') return fail("expected `:`", pos_);
        ++pos_;
      }
      if (!value(depth + 1)) return false;
      skip_space();
      if (at_end()) return fail(eof, pos_);
      if (peek() == close) {
        ++pos_;
        return true;
      }
      if (peek() != ',') return fail(object ? "expected `,` or `}`" : "expected `,` or `]`", pos_);
      ++pos_;
      after_comma = true;
    }
  }

  bool string() {
    bool escaped = false;
    if (auto fault = scan_json_string(text_, pos_, nullptr, escaped)) {
      return fail(fault->message, fault->offset);
    }
    return true;
  }

  bool ident(std::string_view word) {
    for (char expected : word) {
      if (at_end()) return fail("EOF while parsing a value", pos_);
      if (peek() != expected) return fail("expected ident", pos_);
      ++pos_;
    }
    return true;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number() {
    if (peek() == '-') ++pos_;
    if (!digits(false)) return false;
    if (!at_end() && peek() == '.') {
      ++pos_;
      if (!digits(true)) return false;
    }
    if (!at_end() && (peek() == 'e' || peek() == 'E')) {
      ++pos_;
      if (!at_end() && (peek() == '+' || peek() == '-')) ++pos_;
      if (!digits(true)) return false;
    }
    return true;
  }

  // One or more digits; an integer part may not have a leading zero.
  bool digits(bool fraction) {
    if (at_end()) return fail("EOF while parsing a value", pos_);
    if (!is_digit(peek())) return fail("invalid number", pos_);
    if (!fraction && peek() == '0') {
      ++pos_;
      if (!at_end() && is_digit(peek())) return fail("invalid number", pos_);
      return true;
    }
    while (!at_end() && is_digit(peek())) ++pos_;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  JsonSyntaxFault fault_{"", 0};
};

}  // namespace

std::string json_error_at(std::string_view text, std::size_t offset, std::string_view message) {
  const std::size_t through = std::min(text.size(), offset + 1);
  const std::string_view head = text.substr(0, through);
  const std::size_t lines = static_cast<std::size_t>(std::count(head.begin(), head.end(), '\n'));
  const std::size_t last_newline = head.rfind('\n');
  const std::size_t column =
      last_newline == std::string_view::npos ? through : through - last_newline - 1;
  std::string out(message);
  out += " at line ";
  out += std::to_string(lines + 1);
  out += " column ";
  out += std::to_string(column);
  return out;
}

std::optional<JsonSyntaxFault> find_json_syntax_fault(std::string_view text) {
  return Scanner(text).document();
}

}  // namespace orvane
