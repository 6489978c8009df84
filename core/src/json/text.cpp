#include "json/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "text/hex.h"

namespace orvane {
namespace {

template <typename Integer>
void append_integer(std::string& out, Integer value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void append_escaped(std::string& out, std::string_view text) {
  out += '"';
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text, run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += text::kHexDigits[c >> 4];
        out += text::kHexDigits[c & 0xF];
    }
  }
  out.append(text, run);
  out += '"';
}

}  // namespace

void append_float_text(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  // Shortest round-trip digits as [-]D[.DDD]e(+|-)XX; then laid out the way repr does.
  char sci[32];
  const char* const end =
      std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  const char* p = sci;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  char digits[20];
  std::size_t count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);

  if (exponent >= -4 && exponent < 16) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out.append(digits, count);
    } else {
      const auto whole = static_cast<std::size_t>(exponent) + 1;
      if (count <= whole) {
        out.append(digits, count);
        out.append(whole - count, '0');
        out += ".0";
      } else {
        out.append(digits, whole);
        out += '.';
        out.append(digits + whole, count - whole);
      }
    }
    return;
  }
  out += digits[0];
  if (count > 1) {
    out += '.';
    out.append(digits + 1, count - 1);
  }
  out += exponent < 0 ? "e-" : "e+";
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude < 10) out += '0';
  append_integer(out, magnitude);
}

std::string float_text(double value) {
  std::string out;
  append_float_text(out, value);
  return out;
}

std::string number_text(const JsonValue& value) {
  std::string out;
  switch (value.kind()) {
    case JsonKind::Unsigned:
      append_integer(out, value.as_unsigned());
      break;
    case JsonKind::Negative:
      append_integer(out, value.as_negative());
      break;
    case JsonKind::Float:
      append_float_text(out, value.as_float());
      break;
    default:
      break;
  }
  return out;
}

void append_compact_text(std::string& out, const JsonValue& value) {
  switch (value.kind()) {
    case JsonKind::Null:
      out += "null";
      return;
    case JsonKind::Bool:
      out += value.as_bool() ? "true" : "false";
      return;
    case JsonKind::Unsigned:
      append_integer(out, value.as_unsigned());
      return;
    case JsonKind::Negative:
      append_integer(out, value.as_negative());
      return;
    case JsonKind::Float:
      if (std::isfinite(value.as_float())) {
        append_float_text(out, value.as_float());
      } else {
        out += "null";
      }
      return;
    case JsonKind::String:
      append_escaped(out, value.as_string());
      return;
    case JsonKind::Array: {
      out += '[';
      bool first = true;
      for (const JsonValue& element : value.as_array()) {
        if (!first) out += ',';
        first = false;
        append_compact_text(out, element);
      }
      out += ']';
      return;
    }
    case JsonKind::Object: {
      out += '{';
      bool first = true;
      for (const JsonMember& member : value.as_object()) {
        if (!first) out += ',';
        first = false;
        append_escaped(out, member.name);
        out += ':';
        append_compact_text(out, member.value);
      }
      out += '}';
      return;
    }
  }
}

std::string compact_text(const JsonValue& value) {
  std::string out;
  append_compact_text(out, value);
  return out;
}

}  // namespace orvane
