// Decoded venue values as text that spells out every field, each Decimal in its exact
// representation: what the venue tests compare against and the venue target compares between the
// two readers.
#pragma once

#include <string>

#include "json/text.h"
#include "text/concat.h"
#include "venues/kalshi.h"
#include "venues/opinion.h"

namespace orvane::fuzz {

inline std::string texts(const LevelList& levels) {
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

// The decoded value as text, or "error: " and the error.
template <typename T>
std::string describe(const std::expected<T, Error>& decoded) {
  return decoded ? describe(*decoded) : "error: " + decoded.error().text;
}

}  // namespace orvane::fuzz
