// Decoded venue values as text that spells out every field, each Decimal in its exact
// representation: what the venue tests compare against and the venue target compares between the
// two readers.
#pragma once

#include <string>

#include "json/text.h"
#include "text/concat.h"
#include "venues/kalshi.h"
#include "venues/opinion.h"
#include "venues/polymarket.h"

namespace orvane::fuzz {

inline std::string texts(const auto& levels) {
  std::string out;
  for (const auto& [price, size] : levels) out += to_text(price) + ":" + to_text(size) + " ";
  return out;
}

inline std::string describe(const kalshi::Message& m) {
  std::string out = concat(m.kind, " seq=", compact_text(m.seq), " sid=", compact_text(m.sid),
                           " n=", m.seq_number ? std::to_string(*m.seq_number) : "none");
  if (const auto* s = std::get_if<kalshi::Snapshot>(&m.book)) {
    return concat(out, " ", s->ticker, " yes=", texts(s->yes), "no=", texts(s->no),
                  "id=", compact_text(s->market_id));
  }
  const auto& d = std::get<kalshi::Delta>(m.book);
  return concat(out, " ", d.ticker, " ts=", compact_text(d.ts_ms),
                " id=", compact_text(d.client_order_id), " ", to_text(d.price), " ",
                to_text(d.delta), " side=", std::to_string(d.side == Side::Bid ? 0 : 1));
}

inline std::string describe(const opinion::DepthChange& change) {
  return change.token + " " + to_text(change.price) + " " + to_text(change.size) +
         (change.side == Side::Bid ? " bids" : " asks");
}

inline std::string describe(const polymarket::Decoded& decoded) {
  const auto* messages = std::get_if<std::vector<polymarket::Message>>(&decoded);
  if (messages == nullptr) return "refused";
  const auto time = [](std::optional<int64_t> t) { return t ? std::to_string(*t) : "none"; };
  std::string out;
  for (const auto& message : *messages) {
    if (const auto* b = std::get_if<polymarket::BookMessage>(&message)) {
      out += concat("book ", b->asset_id, " ", b->market, " ", time(b->timestamp),
                    " bids=", texts(b->bids), "asks=", texts(b->asks), compact_text(b->hash), " ",
                    compact_text(b->tick_size), " ", compact_text(b->last_trade_price), "; ");
      continue;
    }
    const auto& m = std::get<polymarket::PriceChange>(message);
    out += concat("change ", m.market, " ", time(m.timestamp), ": ");
    for (const auto& c : m.changes) {
      out += concat(c.asset_id, " ", to_text(c.price), " ", to_text(c.size),
                    c.side == Side::Bid ? " bid " : " ask ", compact_text(c.best_bid.json()), " ",
                    compact_text(c.best_ask.json()), ", ");
    }
  }
  return out;
}

// The decoded value as text, or "error: " and the error.
template <typename T>
std::string describe(const std::expected<T, Error>& decoded) {
  return decoded ? describe(*decoded) : "error: " + decoded.error().text;
}

}  // namespace orvane::fuzz
