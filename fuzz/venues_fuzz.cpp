// The four venue decoders on any text: the plain fast path and the general reader agree whenever
// the fast path decides, on the value or on the error text, and whatever decodes applies to a book
// that stays ordered and positive; a snapshot builds each side as inserting its pairs one at a time
// would.
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "book/book.h"
#include "target.h"
#include "venue_text.h"
#include "venues/polymarket.h"
#include "venues/polymarket_us.h"

namespace {

using namespace orvane;

// The same frame behind a first member that only the general reader takes (an escaped name).
std::string behind_escaped_member(std::string_view text) {
  if (text.size() < 2 || text[0] != '{') return {};
  const std::size_t next = text.find_first_not_of(" \t\r\n", 1);
  const bool empty = next != std::string_view::npos && text[next] == '}';
  return std::string(R"({"\u0070ad":0)") + (empty ? "" : ",") + std::string(text.substr(1));
}

// Each side ordered best first, strictly, with positive sizes only.
void check_book(const Book& book) {
  const auto [bids, asks] = book.levels();
  for (std::size_t i = 0; i < bids.size(); ++i)
    FUZZ_CHECK(bids[i].second > Decimal() && (i == 0 || bids[i - 1].first > bids[i].first));
  for (std::size_t i = 0; i < asks.size(); ++i)
    FUZZ_CHECK(asks[i].second > Decimal() && (i == 0 || asks[i - 1].first < asks[i].first));
}

// `replace` builds a side at once (sorting the run, or reversing a strictly descending one): the
// same keys and sizes, in their representations, as inserting the positive pairs one at a time.
void replace(Book& book, const LevelList& bids, const LevelList& asks) {
  book.replace(bids, asks);
  for (const auto& [pairs, built] : {std::pair{&bids, &book.bids}, {&asks, &book.asks}}) {
    PriceMap inserted;
    for (const Level& level : *pairs)
      if (level.second > Decimal()) insert_levels(inserted, std::span(&level, 1));
    FUZZ_CHECK(fuzz::texts(inserted) == fuzz::texts(*built));
  }
}

// Decodes `text` as it is and behind the escaped member: unless the text is not JSON at all, both
// readers give the same value or the same error.
template <typename Decoded>
Decoded both_ways(Decoded (*decode)(std::string_view), std::string_view text) {
  auto decoded = decode(text);
  const std::string escaped = behind_escaped_member(text);
  if (!escaped.empty() && (decoded || decoded.error().code != ErrorCode::kMalformedJson))
    FUZZ_CHECK(fuzz::describe(decoded) == fuzz::describe(decode(escaped)));
  return decoded;
}

void polymarket_frame(std::string_view text, Book& book) {
  const auto decoded = polymarket::decode(text);
  if (const auto plain = polymarket::read_plain(text)) {
    const auto general = polymarket::read(text);
    FUZZ_CHECK(general && *general == *plain);
    // The plain records convert (into views of the frame) to what the general ones give.
    FUZZ_CHECK(fuzz::describe(decoded) == fuzz::describe(polymarket::convert(*general)));
  }
  const auto* messages =
      decoded ? std::get_if<std::vector<polymarket::Message>>(&*decoded) : nullptr;
  if (messages == nullptr) return;
  for (const auto& message : *messages) {
    if (const auto* snapshot = std::get_if<polymarket::BookMessage>(&message)) {
      replace(book, snapshot->bids, snapshot->asks);
    } else {
      for (const auto& change : std::get<polymarket::PriceChange>(message).changes)
        book.set(change.side, change.price, change.size);
    }
  }
}

}  // namespace

FUZZ_TARGET(venues) {
  Book book;
  replace(book, LevelList{{*parse("0.4"), *parse("10")}}, LevelList{{*parse("0.6"), *parse("5")}});
  if (const auto message = both_ways(kalshi::decode, text))
    std::visit([&](const auto& change) { (void)kalshi::apply(book, change); }, message->book);
  if (const auto change = both_ways(opinion::decode, text)) opinion::apply(book, *change);
  polymarket_frame(text, book);
  const auto us = polymarket_us::decode(text);
  if (const auto plain = polymarket_us::decode_plain(text)) FUZZ_CHECK(*plain == us);
  if (us) replace(book, us->bids, us->asks);
  check_book(book);
  return 0;
}
