#include "router/ladder.h"

#include <algorithm>
#include <vector>

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

namespace {

// A stable sort that first looks for the runs already in order: a merge appends each member's rows
// in turn, and a book's rows usually come best first, so the ladder is a few sorted runs. Adjacent
// runs are merged pairwise, the left one first on ties, which keeps equal keys in input order just
// as std::stable_sort does. Unordered input makes many short runs and costs about what
// std::stable_sort would.
template <typename Less>
void sort_by(std::span<LadderLevel> levels, Less less) {
  const size_t n = levels.size();
  std::vector<size_t> bounds{0};  // where each run starts, then n
  for (size_t i = 1; i < n; ++i) {
    if (less(levels[i], levels[i - 1])) bounds.push_back(i);
  }
  bounds.push_back(n);
  if (bounds.size() <= 2) return;  // one run: already in order
  std::vector<LadderLevel> buffer(n);
  std::span<LadderLevel> from = levels;
  std::span<LadderLevel> to = buffer;
  while (bounds.size() > 2) {
    size_t kept = 0;
    size_t r = 0;
    for (; r + 2 < bounds.size(); r += 2) {
      const auto first = from.begin();
      std::merge(first + bounds[r], first + bounds[r + 1], first + bounds[r + 1],
                 first + bounds[r + 2], to.begin() + bounds[r], less);
      bounds[kept++] = bounds[r];
    }
    if (r + 1 < bounds.size()) {  // an odd run out: carried over as it is
      std::copy(from.begin() + bounds[r], from.begin() + bounds[r + 1], to.begin() + bounds[r]);
      bounds[kept++] = bounds[r];
    }
    bounds[kept++] = n;
    bounds.resize(kept);
    std::swap(from, to);
  }
  if (from.data() != levels.data()) std::ranges::copy(from, levels.begin());
}

}  // namespace

void sort(std::span<LadderLevel> levels, bool buy) {
  if (buy) {
    sort_by(levels, [](const LadderLevel& a, const LadderLevel& b) { return by_key(a, b) < 0; });
  } else {
    sort_by(levels, [](const LadderLevel& a, const LadderLevel& b) { return by_key(a, b) > 0; });
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
