#include "router/view.h"

#include <algorithm>

#include "router/arithmetic.h"

namespace orvane::router {
namespace {

void drop_empty(std::vector<Pair>& levels) {
  std::erase_if(levels, [](const Pair& level) { return !(level.second > Decimal{}); });
}

// Prices every level as 1 - p; false when one of them cannot be exact.
bool complement(std::vector<Pair>& levels) {
  constexpr Decimal one = Decimal::from_integer(1);
  for (Pair& level : levels) {
    const std::optional<Decimal> price = router::exact_add(one, negate(level.first));
    if (!price) return false;
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
