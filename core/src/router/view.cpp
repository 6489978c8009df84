#include "router/view.h"

#include <algorithm>

#include "router/arithmetic.h"

namespace orvane::router {
namespace {

void drop_empty(std::vector<Pair>& levels) {
  std::erase_if(levels, [](const Pair& level) { return !(level.second > Decimal{}); });
}

// Prices every level as 1 - p; false when one of them is past the router's digit limit.
bool complement(std::vector<Pair>& levels) {
  for (Pair& level : levels) {
    const std::optional<Decimal> price = one_minus(level.first);
    if (!price || price->mantissa() >= pow10(kMaxDigits)) return false;
    level.first = *price;
  }
  return true;
}

}  // namespace

std::optional<View> view(std::vector<Pair> bids, std::vector<Pair> asks, bool flip) {
  drop_empty(bids);
  drop_empty(asks);
  if (!flip) return View{std::move(asks), std::move(bids)};
  if (!complement(bids) || !complement(asks)) return std::nullopt;
  return View{std::move(bids), std::move(asks)};
}

}  // namespace orvane::router
