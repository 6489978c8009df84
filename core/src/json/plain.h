// PlainJsonReader: a one-pass reader for the common shape of venue frames, JSON text that is plain
// ASCII with no escapes in its strings.
//
// It validates everything it passes over (grammar, string bytes, number syntax, nesting) and gives
// views into the text, so a frame can be read without building values or copying strings. It does
// not report errors: at anything outside its shape, valid or not (an escape, a non-ASCII byte, an
// exponent, deep nesting, a syntax error), it stops and `ok()` turns false, and the caller reads
// the text again with the general JSON reader (json/parse.h), which decides and words the outcome.
// Whatever this reader accepts, the general reader accepts too and reads the same way.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane {

class PlainJsonReader {
 public:
  explicit PlainJsonReader(std::string_view text) : text_(text) {}

  // False once the reader stopped; every later read then fails too.
  bool ok() const { return ok_; }

  // The first character of the next value after white space; 0 at the end or once stopped.
  char peek() {
    space();
    return ok_ && pos_ < text_.size() ? text_[pos_] : '\0';
  }

  // Reads the next value of any kind; its text, without surrounding white space.
  std::optional<std::string_view> value();

  // `value`, with the usual case, a string, read in line.
  std::optional<std::string_view> scalar() {
    if (peek() != '"') return value();
    const std::size_t start = pos_;
    if (!string()) return std::nullopt;
    return text_.substr(start, pos_ - start);
  }

  // Reads the next value, which must be a string: its content (there are no escapes).
  std::optional<std::string_view> string();

  // Reads the next value when it is an array of two strings, the usual level of a price ladder:
  // their contents. Nothing, the reader unmoved, for anything else.
  std::optional<std::pair<std::string_view, std::string_view>> string_pair();

  // Reads the next value when it is an array of two strings that `literal` reads: what it gives for
  // each. `literal(text, at)` is called with `at` on a string's opening quote; it returns a value
  // and leaves `at` past the closing quote, or nothing. Nothing, the reader unmoved, for anything
  // else.
  template <typename Literal>
  using LiteralValue =
      typename std::invoke_result_t<Literal&, std::string_view, std::size_t&>::value_type;
  template <typename Literal>
  std::optional<std::pair<LiteralValue<Literal>, LiteralValue<Literal>>> literal_pair(
      Literal&& literal);

  // Reads the next value when it is an object of two string members, named `first` and `second` in
  // this order: their texts, quotes included, as `value` gives them. Nothing, the reader unmoved,
  // for anything else (which `object` reads).
  template <std::size_t N1, std::size_t N2>
  std::optional<std::pair<std::string_view, std::string_view>> string_record(
      const char (&first)[N1], const char (&second)[N2]);

  // Reads the next value as an object: `member(name)` runs for each member in text order and must
  // read that member's value; it returns false to stop. False when stopped.
  template <typename Member>
  bool object(Member&& member) {
    if (!open('{')) return false;
    if (close('}')) return true;
    for (;;) {
      const auto name = string();
      if (!name || !expect(':') || !member(*name) || !ok_) return fail();
      if (expect_one_of(',', '}') == '}') return true;
      if (!ok_) return false;
    }
  }

  // Reads the next value as an array: `element()` runs for each element and must read it.
  template <typename Element>
  bool array(Element&& element) {
    if (!open('[')) return false;
    if (close(']')) return true;
    for (;;) {
      if (!element() || !ok_) return fail();
      if (expect_one_of(',', ']') == ']') return true;
      if (!ok_) return false;
    }
  }

  // True when only JSON white space remains and nothing stopped the reader.
  bool at_end() {
    space();
    return ok_ && pos_ == text_.size();
  }

 private:
  // Nesting beyond this is left to the general reader, whose limit is higher.
  static constexpr int kMaxDepth = 64;

  bool fail() {
    ok_ = false;
    return false;
  }
  // JSON white space; every such character is at most a space, the test that usually decides.
  static bool is_space(char c) {
    return static_cast<unsigned char>(c) <= ' ' &&
           (c == ' ' || c == '\n' || c == '\r' || c == '\t');
  }
  void space() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
  }
  bool expect(char c) {
    if (peek() != c) return fail();
    ++pos_;
    return true;
  }
  // The delimiter found, consumed; 0 (and stopped) for anything else. Leaving a container closes
  // one level of nesting.
  char expect_one_of(char next, char end) {
    const char c = peek();
    if (c == next || c == end) {
      ++pos_;
      if (c == end) --depth_;
      return c;
    }
    fail();
    return '\0';
  }
  bool open(char c) {
    if (peek() != c || ++depth_ > kMaxDepth) return fail();
    ++pos_;
    return true;
  }
  // An empty container: consumes its end.
  bool close(char c) {
    if (peek() != c) return false;
    ++pos_;
    --depth_;
    return true;
  }
  bool literal(std::string_view word);
  // For the look-ahead readers, from `at`: the next character that is not white space (0 at the
  // end), and the next value when it is a plain string (its text, quotes included).
  char next_at(std::size_t& at) const {
    while (at < text_.size() && is_space(text_[at])) ++at;
    return at < text_.size() ? text_[at] : '\0';
  }
  std::optional<std::string_view> string_at(std::size_t& at) const;
  bool number();

  std::string_view text_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  bool ok_ = true;
};

// Where the content of a plain string ends: the first byte that is a quote, a backslash, a control
// character or not ASCII, from `from` on; `text.size()` when there is none.
inline std::size_t plain_content_end(std::string_view text, std::size_t from) {
#if defined(__SSE2__)
  // Sixteen bytes at a time where the target has SSE2 (every x86-64): a signed compare below 0x20
  // catches control characters and non-ASCII bytes together.
  for (; from + 16 <= text.size(); from += 16) {
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
    const __m128i special = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(w, _mm_set1_epi8('"')), _mm_cmpeq_epi8(w, _mm_set1_epi8('\\'))),
        _mm_cmplt_epi8(w, _mm_set1_epi8(0x20)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(special));
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes at a time: a flag in the high bit of each special byte. Borrows can only set
    // flags above the first special byte, so the lowest flag is exact.
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHigh = 0x8080808080808080u;
    const auto zero_bytes = [](uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    for (; from + 8 <= text.size(); from += 8) {
      uint64_t w;
      std::memcpy(&w, text.data() + from, 8);
      const uint64_t special = zero_bytes(w ^ (kOnes * '"')) | zero_bytes(w ^ (kOnes * '\\')) |
                               ((w - kOnes * 0x20) & ~w & kHigh) | (w & kHigh);
      if (special != 0) return from + static_cast<std::size_t>(std::countr_zero(special)) / 8;
    }
  }
  for (; from < text.size(); ++from) {
    const auto c = static_cast<unsigned char>(text[from]);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return from;
  }
  return from;
}

inline std::optional<std::string_view> PlainJsonReader::string() {
  if (peek() != '"') {
    fail();
    return std::nullopt;
  }
  const std::size_t start = ++pos_;
  pos_ = plain_content_end(text_, start);
  // Escapes, control characters and non-ASCII bytes are the general reader's to check.
  if (pos_ == text_.size() || text_[pos_] != '"') {
    fail();
    return std::nullopt;
  }
  return text_.substr(start, pos_++ - start);
}

inline std::optional<std::string_view> PlainJsonReader::string_at(std::size_t& at) const {
  if (next_at(at) != '"') return std::nullopt;
  const std::size_t end = plain_content_end(text_, at + 1);
  if (end == text_.size() || text_[end] != '"') return std::nullopt;
  const std::string_view literal = text_.substr(at, end + 1 - at);
  at = end + 1;
  return literal;
}

template <typename Literal>
std::optional<
    std::pair<PlainJsonReader::LiteralValue<Literal>, PlainJsonReader::LiteralValue<Literal>>>
PlainJsonReader::literal_pair(Literal&& literal) {
  if (peek() != '[' || depth_ >= kMaxDepth) return std::nullopt;
  std::size_t at = pos_ + 1;
  decltype(literal(text_, at)) items[2];
  for (std::size_t i = 0; i < 2; ++i) {
    if (next_at(at) != '"') return std::nullopt;
    items[i] = literal(text_, at);
    if (!items[i] || next_at(at) != (i == 0 ? ',' : ']')) return std::nullopt;
    ++at;
  }
  pos_ = at;
  return std::pair(*items[0], *items[1]);
}

inline std::optional<std::pair<std::string_view, std::string_view>> PlainJsonReader::string_pair() {
  return literal_pair([this](std::string_view, std::size_t& at) -> std::optional<std::string_view> {
    const auto literal = string_at(at);
    if (!literal) return std::nullopt;
    return literal->substr(1, literal->size() - 2);
  });
}

template <std::size_t N1, std::size_t N2>
std::optional<std::pair<std::string_view, std::string_view>> PlainJsonReader::string_record(
    const char (&first)[N1], const char (&second)[N2]) {
  if (peek() != '{' || depth_ >= kMaxDepth) return std::nullopt;
  std::size_t at = pos_ + 1;
  // A name is compared whole: a constant of known length, so the comparison takes a few loads.
  const auto name_at = [&]<std::size_t N>(const char(&name)[N]) {
    const auto text = string_at(at);
    return text && text->size() == N + 1 && std::memcmp(text->data() + 1, name, N - 1) == 0 &&
           next_at(at) == ':';
  };
  if (!name_at(first)) return std::nullopt;
  ++at;
  const auto price = string_at(at);
  if (!price || next_at(at) != ',') return std::nullopt;
  ++at;
  if (!name_at(second)) return std::nullopt;
  ++at;
  const auto size = string_at(at);
  if (!size || next_at(at) != '}') return std::nullopt;
  pos_ = at + 1;
  return std::pair(*price, *size);
}

// Whether two member names are equal: those of up to 16 bytes are compared as a few overlapping
// words rather than through a call to memcmp.
inline bool same_name(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const auto equal_at = [&]<typename Word>(std::size_t at, Word) {
    Word x, y;
    std::memcpy(&x, a.data() + at, sizeof x);
    std::memcpy(&y, b.data() + at, sizeof y);
    return x == y;
  };
  if (n >= 8 && n <= 16) return equal_at(0, uint64_t{}) && equal_at(n - 8, uint64_t{});
  if (n >= 4 && n < 8) return equal_at(0, uint32_t{}) && equal_at(n - 4, uint32_t{});
  return a == b;
}

// The content of `raw`, the text of a JSON string literal, when it holds no escape: the bytes
// between the quotes. Nothing for any other text. `raw` must be valid JSON (as the readers give
// it).
std::optional<std::string_view> plain_string_content(std::string_view raw);

}  // namespace orvane
