#include "text/quoted.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

#include "text/hex.h"

namespace orvane {
namespace {

void append_code_point_escape(std::string& out, uint32_t code_point) {
  char digits[8];
  int count = 0;
  do {
    digits[count++] = text::kHexDigits[code_point & 0xF];
    code_point >>= 4;
  } while (code_point != 0);
  out += "\\u{";
  while (count > 0) out += digits[--count];
  out += '}';
}

bool needs_escape(UChar32 c) {
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return c != ' ';
    default:
      return u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) != 0;
  }
}

bool is_ascii_white_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

void append_quoted_form(std::string& out, std::string_view text) {
  out += '"';
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const uint8_t byte = bytes[i];
    if (byte >= 0x20 && byte < 0x7F) {
      if (byte == '"' || byte == '\\') out += '\\';
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    switch (byte) {
      case 0:
        out += "\\0";
        ++i;
        continue;
      case '\t':
        out += "\\t";
        ++i;
        continue;
      case '\r':
        out += "\\r";
        ++i;
        continue;
      case '\n':
        out += "\\n";
        ++i;
        continue;
      default:
        break;
    }
    const std::size_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, size, c);
    if (c < 0) {
      for (std::size_t k = start; k < i; ++k) {
        out += "\\x";
        out += text::kHexDigits[bytes[k] >> 4];
        out += text::kHexDigits[bytes[k] & 0xF];
      }
    } else if (needs_escape(c)) {
      append_code_point_escape(out, static_cast<uint32_t>(c));
    } else {
      out.append(text, start, i - start);
    }
  }
  out += '"';
}

std::string quoted_form(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  append_quoted_form(out, text);
  return out;
}

std::string_view trim_white_space(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end) {
    if (bytes[begin] < 0x80) {
      if (!is_ascii_white_space(bytes[begin])) break;
      ++begin;
      continue;
    }
    std::size_t next = begin;
    UChar32 c;
    U8_NEXT(bytes, next, end, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    begin = next;
  }
  while (end > begin) {
    if (bytes[end - 1] < 0x80) {
      if (!is_ascii_white_space(bytes[end - 1])) break;
      --end;
      continue;
    }
    // Back over at most three trail bytes to a lead byte, then decode forwards: the character must
    // end exactly at `end`.
    std::size_t lead = end - 1;
    while (lead > begin && end - lead < 4 && U8_IS_TRAIL(bytes[lead])) --lead;
    std::size_t next = lead;
    UChar32 c;
    U8_NEXT(bytes, next, end, c);
    if (c < 0 || next != end || !u_isUWhiteSpace(c)) break;
    end = lead;
  }
  return text.substr(begin, end - begin);
}

}  // namespace orvane
