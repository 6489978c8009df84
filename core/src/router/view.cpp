#include "router/view.h"

#include <algorithm>

#include "router/arithmetic.h"

namespace orvane::router {
namespace {

void drop_empty(std::vector<Pair>& levels) {
  std::erase_if(levels, [](const Pair& level) { return !(level.second > Decimal{}); });
}

// exact_add(1, -p) without the general alignment: 1 at p's scale is 10^scale(p), which always
// fits, so only the sign and the digit limit are left to decide.
std::optional<Decimal> one_minus(const Decimal& p) {
  const u128 unit = pow10(p.scale());
  const u128 mantissa = p.mantissa();
  u128 difference;
  bool negative = false;
  if (p.is_negative()) {
    difference = unit + mantissa;
  } else if (unit >= mantissa) {
    difference = unit - mantissa;
  } else {
    difference = mantissa - unit;
    negative = true;
  }
  if (difference >= pow10(kMaxDigits)) return std::nullopt;
  return Decimal::from_parts(difference, p.scale(), negative);
}

// Prices every level as 1 - p; false when one of them cannot be exact.
bool complement(std::vector<Pair>& levels) {
  for (Pair& level : levels) {
    const std::optional<Decimal> price = one_minus(level.first);
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
