#include "json/string.h"

#include <unicode/utf8.h>

#include <cstdint>

#include "json/syntax.h"

namespace orvane {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_utf8(std::string& out, uint32_t code_point) {
  char bytes[U8_MAX_LENGTH];
  std::size_t length = 0;
  U8_APPEND_UNSAFE(bytes, length, code_point);
  out.append(bytes, length);
}

}  // namespace

std::optional<JsonStringFault> scan_json_string(std::string_view text, std::size_t& pos,
                                                std::string* out, bool& escaped) {
  const std::size_t size = text.size();
  std::size_t i = pos + 1;  // past the opening quote
  std::size_t run = i;      // start of the plain bytes not yet copied to `out`
  const auto flush = [&](std::size_t until) {
    if (out != nullptr) out->append(text, run, until - run);
  };
  // Reads the four hex digits after "\u" at text[at]; -1 with `fault` set when they are not there.
  const auto hex4 = [&](std::size_t at, std::optional<JsonStringFault>& fault) -> int32_t {
    int32_t unit = 0;
    for (std::size_t k = at; k < at + 4; ++k) {
      if (k >= size) {
        fault = JsonStringFault{"EOF while parsing a string", size};
        return -1;
      }
      const int digit = hex_digit(text[k]);
      if (digit < 0) {
        fault = JsonStringFault{"invalid escape", k};
        return -1;
      }
      unit = unit * 16 + digit;
    }
    return unit;
  };

  while (i < size) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"') {
      flush(i);
      pos = i + 1;
      return std::nullopt;
    }
    if (c < 0x20)
      return JsonStringFault{"control character (\\u0000-\\u001F) found while parsing a string", i};
    if (c < 0x80 && c != '\\') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      std::size_t next = i;
      UChar32 code_point;
      U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), next, size, code_point);
      if (code_point < 0) return JsonStringFault{"invalid UTF-8", i};
      i = next;
      continue;
    }
    // A backslash.
    escaped = true;
    flush(i);
    if (i + 1 >= size) return JsonStringFault{"EOF while parsing a string", size};
    const char kind = text[i + 1];
    char simple = 0;
    switch (kind) {
      case '"':
        simple = '"';
        break;
      case '\\':
        simple = '\\';
        break;
      case '/':
        simple = '/';
        break;
      case 'b':
        simple = '\b';
        break;
      case 'f':
        simple = '\f';
        break;
      case 'n':
        simple = '\n';
        break;
      case 'r':
        simple = '\r';
        break;
      case 't':
        simple = '\t';
        break;
      case 'u':
        break;
      default:
        return JsonStringFault{"invalid escape", i + 1};
    }
    if (simple != 0) {
      if (out != nullptr) *out += simple;
      i += 2;
    } else {
      std::optional<JsonStringFault> fault;
      const int32_t unit = hex4(i + 2, fault);
      if (unit < 0) return fault;
      uint32_t code_point = static_cast<uint32_t>(unit);
      i += 6;
      if (U16_IS_TRAIL(unit)) return JsonStringFault{"lone surrogate in hex escape", i - 1};
      if (U16_IS_LEAD(unit)) {
        if (i + 1 >= size || text[i] != '\\' || text[i + 1] != 'u') {
          return JsonStringFault{"lone surrogate in hex escape", i - 1};
        }
        const int32_t trail = hex4(i + 2, fault);
        if (trail < 0) return fault;
        if (!U16_IS_TRAIL(trail)) return JsonStringFault{"lone surrogate in hex escape", i + 5};
        code_point = U16_GET_SUPPLEMENTARY(unit, trail);
        i += 6;
      }
      if (out != nullptr) append_utf8(*out, code_point);
    }
    run = i;
  }
  return JsonStringFault{"EOF while parsing a string", size};
}

std::expected<std::string_view, Error> decode_json_string(std::string_view raw,
                                                          std::string& scratch) {
  const auto fail = [raw](std::string_view message, std::size_t offset) {
    return std::unexpected(Error(ErrorCode::kMalformedJson, json_error_at(raw, offset, message)));
  };
  std::size_t pos = 0;
  while (pos < raw.size() && is_json_space(raw[pos])) ++pos;
  if (pos == raw.size()) return fail("EOF while parsing a value", pos);
  if (raw[pos] != '"') return fail("expected a string", pos);
  const std::size_t open = pos;
  bool escaped = false;
  if (auto fault = scan_json_string(raw, pos, nullptr, escaped)) {
    return fail(fault->message, fault->offset);
  }
  const std::size_t close = pos;  // one past the closing quote
  while (pos < raw.size() && is_json_space(raw[pos])) ++pos;
  if (pos != raw.size()) return fail("trailing characters", pos);
  if (!escaped) return raw.substr(open + 1, close - open - 2);
  scratch.clear();
  pos = open;
  scan_json_string(raw, pos, &scratch, escaped);
  return std::string_view(scratch);
}

std::expected<std::string, Error> decode_json_string(std::string_view raw) {
  std::string scratch;
  auto content = decode_json_string(raw, scratch);
  if (!content) return std::unexpected(std::move(content.error()));
  // Without escapes the content is a view of `raw` and `scratch` is still empty.
  return scratch.empty() ? std::string(*content) : std::move(scratch);
}

}  // namespace orvane
