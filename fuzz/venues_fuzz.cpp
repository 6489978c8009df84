// The four venue decoders on any text: the plain fast path and the general reader agree whenever
// the fast path decides, on the value or on the error text, and whatever decodes applies to a book
// that stays ordered and positive.
#include <algorithm>
#include <string>
#include <string_view>
#include <variant>

#include "book/book.h"
#include "target.h"
#include "venues/kalshi.h"
#include "venues/opinion.h"
#include "venues/polymarket.h"
#include "venues/polymarket_us.h"

namespace {

using namespace orvane;

bool same(const Decimal& a, const Decimal& b) { return a.same_representation(b); }

bool same(const LevelList& a, const LevelList& b) {
  return std::ranges::equal(a, b, [](const Level& x, const Level& y) {
    return same(x.first, y.first) && same(x.second, y.second);
  });
}

bool same(const kalshi::Message& a, const kalshi::Message& b) {
  if (a.kind != b.kind || a.seq_number != b.seq_number || !(a.seq == b.seq) || !(a.sid == b.sid))
    return false;
  if (a.book.index() != b.book.index()) return false;
  if (const auto* s = std::get_if<kalshi::Snapshot>(&a.book)) {
    const auto& t = std::get<kalshi::Snapshot>(b.book);
    return s->ticker == t.ticker && same(s->yes, t.yes) && same(s->no, t.no) &&
           s->market_id == t.market_id;
  }
  const auto& d = std::get<kalshi::Delta>(a.book);
  const auto& e = std::get<kalshi::Delta>(b.book);
  return d.ticker == e.ticker && d.ts_ms == e.ts_ms && d.client_order_id == e.client_order_id &&
         same(d.price, e.price) && same(d.delta, e.delta) && d.side == e.side;
}

bool same(const opinion::DepthChange& a, const opinion::DepthChange& b) {
  return a.token == b.token && same(a.price, b.price) && same(a.size, b.size) && a.side == b.side;
}

// The same frame behind a first member that only the general reader takes (an escaped name).
std::string behind_escaped_member(std::string_view text) {
  if (text.size() < 2 || text[0] != '{') return {};
  const bool empty = text.substr(1).find_first_not_of(" \t\r\n") != std::string_view::npos &&
                     text[text.find_first_not_of(" \t\r\n", 1)] == '}';
  return std::string(R"({"\u0070ad":0)") + (empty ? "" : ",") + std::string(text.substr(1));
}

// Each side ordered best first, strictly, with positive sizes only.
void check_book(const Book& book) {
  const auto levels = book.levels();
  for (std::size_t i = 0; i < levels.bids.size(); ++i) {
    FUZZ_CHECK(levels.bids[i].second > Decimal());
    if (i > 0) FUZZ_CHECK(levels.bids[i - 1].first > levels.bids[i].first);
  }
  for (std::size_t i = 0; i < levels.asks.size(); ++i) {
    FUZZ_CHECK(levels.asks[i].second > Decimal());
    if (i > 0) FUZZ_CHECK(levels.asks[i - 1].first < levels.asks[i].first);
  }
}

// Decodes `text` as it is and behind the escaped member: unless the text is not JSON at all, both
// readers give the same value or the same error.
template <typename Decoded>
Decoded both_ways(Decoded (*decode)(std::string_view), std::string_view text) {
  auto decoded = decode(text);
  const std::string escaped = behind_escaped_member(text);
  if (!escaped.empty() && (decoded || !decoded.error().starts_with("not JSON"))) {
    const auto general = decode(escaped);
    FUZZ_CHECK(decoded.has_value() == general.has_value());
    FUZZ_CHECK(decoded ? same(*decoded, *general) : decoded.error() == general.error());
  }
  return decoded;
}

void kalshi_frame(std::string_view text, Book& book) {
  const auto message = both_ways(kalshi::decode, text);
  if (!message) return;
  if (const auto* snapshot = std::get_if<kalshi::Snapshot>(&message->book)) {
    kalshi::apply(book, *snapshot);
  } else {
    (void)kalshi::apply(book, std::get<kalshi::Delta>(message->book));
  }
}

void opinion_frame(std::string_view text, Book& book) {
  if (const auto change = both_ways(opinion::decode, text)) opinion::apply(book, *change);
}

void polymarket_frame(std::string_view text, Book& book) {
  if (const auto plain = polymarket::read_plain(text)) {
    const auto general = polymarket::read(text);
    FUZZ_CHECK(general && *general == *plain);
  }
  const auto decoded = polymarket::decode(text);
  if (!decoded) return;
  const auto* messages = std::get_if<std::vector<polymarket::Message>>(&*decoded);
  if (messages == nullptr) return;
  for (const auto& message : *messages) {
    if (const auto* snapshot = std::get_if<polymarket::BookMessage>(&message)) {
      book.replace(snapshot->bids, snapshot->asks);
    } else {
      for (const auto& change : std::get<polymarket::PriceChange>(message).changes) {
        book.set(change.side, change.price, change.size);
      }
    }
  }
}

void polymarket_us_frame(std::string_view text, Book& book) {
  const auto general = polymarket_us::decode(text);
  if (const auto plain = polymarket_us::decode_plain(text)) {
    FUZZ_CHECK(plain->has_value() == general.has_value());
    FUZZ_CHECK(general ? **plain == *general : plain->error() == general.error());
  }
  if (general) book.replace(general->bids, general->asks);
}

}  // namespace

FUZZ_TARGET(venues) {
  const std::string_view text = orvane::fuzz::text_of(data, size);
  Book book;
  book.replace(LevelList{{*parse("0.4"), *parse("10")}}, LevelList{{*parse("0.6"), *parse("5")}});
  kalshi_frame(text, book);
  opinion_frame(text, book);
  polymarket_frame(text, book);
  polymarket_us_frame(text, book);
  check_book(book);
  return 0;
}
