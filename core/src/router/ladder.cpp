#include "router/ladder.h"

#include <algorithm>

#include "router/arithmetic.h"

namespace orvane::router {

std::optional<LadderLevel> make_level(const Decimal& price, const Decimal& size, const Decimal& fee,
                                      size_t member, bool buy) {
  // Integer zero, not the fee's own zero: 0.50 + 0 stays 0.50, where 0.50 + 0.000 would be 0.500.
  const Decimal unit_fee = fee > Decimal{} ? fee : Decimal{};
  const std::optional<Decimal> net = router::exact_add(price, buy ? unit_fee : negate(unit_fee));
  if (!net) return std::nullopt;
  return LadderLevel{price, *net, size, member};
}

namespace {

// Ladder order by (net, price), both by value.
std::strong_ordering by_key(const LadderLevel& a, const LadderLevel& b) {
  const std::strong_ordering net = a.net <=> b.net;
  return net != 0 ? net : a.price <=> b.price;
}

}  // namespace

void sort(std::span<LadderLevel> levels, bool buy) {
  if (buy) {
    std::stable_sort(levels.begin(), levels.end(),
                     [](const LadderLevel& a, const LadderLevel& b) { return by_key(a, b) < 0; });
  } else {
    std::stable_sort(levels.begin(), levels.end(),
                     [](const LadderLevel& a, const LadderLevel& b) { return by_key(a, b) > 0; });
  }
}

std::string_view reason_text(Stop reason) {
  switch (reason) {
    case Stop::kFilled:
      return "";
    case Stop::kWorstPrice:
      return "worst_price";
    case Stop::kLiquidity:
      return "liquidity";
  }
  return "";
}

std::vector<uint8_t> excluded_members(std::span<const std::string_view> member_ids,
                                      std::span<const std::string_view> excluded) {
  std::vector<uint8_t> mask(excluded.empty() ? 0 : member_ids.size(), 0);
  for (size_t i = 0; i < mask.size(); ++i) {
    mask[i] = std::ranges::find(excluded, member_ids[i]) != excluded.end();
  }
  return mask;
}

namespace {

// Adds one level's take to its member's slot; false when a sum or product cannot be exact.
bool fill(Slot& slot, const LadderLevel& level, const Decimal& take, bool buy) {
  const std::optional<Decimal> quantity = router::exact_add(slot.quantity, take);
  const std::optional<Decimal> spent = router::exact_mul(level.net, take);
  const std::optional<Decimal> cost = spent ? router::exact_add(slot.cost, *spent) : std::nullopt;
  const std::optional<Decimal> fee_delta = router::exact_add(level.net, negate(level.price));
  const std::optional<Decimal> fee_part =
      fee_delta ? router::exact_mul(abs(*fee_delta), take) : std::nullopt;
  const std::optional<Decimal> fee =
      fee_part ? router::exact_add(slot.fee, *fee_part) : std::nullopt;
  if (!quantity || !cost || !fee) return false;
  slot.quantity = *quantity;
  slot.cost = *cost;
  slot.fee = *fee;
  if (buy ? level.price > slot.worst : level.price < slot.worst) slot.worst = level.price;
  return true;
}

}  // namespace

std::optional<Walk> walk(std::span<const LadderLevel> ladder, bool buy, const Decimal& quantity,
                         const Decimal& limit, std::span<const uint8_t> excluded) {
  const Decimal zero{};
  Walk result{{}, quantity, Stop::kFilled};
  Decimal& remaining = result.remaining;
  for (const LadderLevel& level : ladder) {
    if (remaining <= zero) return result;
    if (level.member < excluded.size() && excluded[level.member] != 0) continue;
    if (buy ? level.net > limit : level.net < limit) {
      result.reason = Stop::kWorstPrice;
      return result;
    }
    const Decimal take = remaining < level.size ? remaining : level.size;

    auto slot = std::ranges::find(result.slots, level.member, &Slot::member);
    if (slot == result.slots.end()) {
      result.slots.push_back(Slot{zero, zero, zero, level.price, level.member});
      slot = result.slots.end() - 1;
    }
    if (!fill(*slot, level, take, buy)) return std::nullopt;
    const std::optional<Decimal> left = router::exact_add(remaining, negate(take));
    if (!left) return std::nullopt;
    remaining = *left;
  }
  if (remaining > zero) result.reason = Stop::kLiquidity;
  return result;
}

}  // namespace orvane::router
