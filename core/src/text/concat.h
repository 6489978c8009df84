// concat: builds a message text from pieces (texts and integers). g++ 12 has no std::format, and
// Debian's abseil has its own string_view type, so this small helper serves every message.
#pragma once

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>
#include <type_traits>

namespace orvane {

namespace concat_detail {

template <typename T>
void append(std::string& out, const T& piece) {
  if constexpr (std::is_same_v<T, bool>) {
    out += piece ? "true" : "false";
  } else if constexpr (std::is_integral_v<T>) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, piece).ptr;
    out.append(buffer, end);
  } else {
    out += std::string_view(piece);
  }
}

}  // namespace concat_detail

template <typename... Pieces>
std::string concat(const Pieces&... pieces) {
  std::string out;
  (concat_detail::append(out, pieces), ...);
  return out;
}

}  // namespace orvane
