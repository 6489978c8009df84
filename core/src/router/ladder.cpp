#include "router/ladder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "router/arithmetic.h"

namespace orvane::router {

std::optional<LadderLevel> make_level(const Decimal& price, const Decimal& size, const Decimal& fee,
                                      size_t member, bool buy) {
  // Integer zero, not the fee's own zero: 0.50 + 0 stays 0.50, where 0.50 + 0.000 would be 0.500.
  const Decimal unit_fee = !fee.is_zero() && !fee.is_negative() ? fee : Decimal{};  // fee > 0
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

// A stable sort that first looks for the runs already in order: a merge appends each member's rows
// in turn, and a book's rows usually come best first, so the ladder is a few sorted runs. Adjacent
// runs are merged pairwise, the left one first on ties, which keeps equal keys in input order just
// as std::stable_sort does. Unordered input makes many short runs and costs about what
// std::stable_sort would.
template <typename T, typename Less>
void sort_by(std::span<T> items, Less less) {
  const size_t n = items.size();
  std::vector<size_t> bounds{0};  // where each run starts, then n
  for (size_t i = 1; i < n; ++i) {
    if (less(items[i], items[i - 1])) bounds.push_back(i);
  }
  bounds.push_back(n);
  if (bounds.size() <= 2) return;  // one run: already in order
  // Every element is written before it is read: a key buffer is left uninitialised.
  const auto buffer = std::make_unique_for_overwrite<T[]>(n);
  std::span<T> from = items;
  std::span<T> to(buffer.get(), n);
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
  if (from.data() != items.data()) std::ranges::copy(from, items.begin());
}

__extension__ using i128 = __int128;

// A level's (net, price) as integers at one common scale, negated for a sell so that both sides
// sort ascending; `index` is its place in the ladder. Comparing two of these is a few instructions
// where comparing Decimals of different scales aligns them on every comparison. 64-bit keys when
// every value fits, as the prices and fees of a book do; 128-bit ones otherwise.
template <typename Int>
struct SortKey {
  Int net;
  Int price;
  size_t index;
};

// max(Int) / 10^shift: a mantissa at most this, scaled up by 10^shift, fits an Int.
template <typename Int>
constexpr std::array<u128, kMaxScale + 1> kKeyBounds = [] {
  std::array<u128, kMaxScale + 1> bounds{};
  const u128 limit = (u128{1} << (sizeof(Int) * 8 - 1)) - 1;
  for (uint32_t shift = 0; shift <= kMaxScale; ++shift) bounds[shift] = limit / pow10(shift);
  return bounds;
}();

template <typename Int>
bool to_key(const Decimal& value, uint32_t scale, bool negate_it, Int& key) {
  const uint32_t shift = scale - value.scale();
  const u128 mantissa = value.mantissa();
  if (mantissa > kKeyBounds<Int>[shift]) return false;
  // The bound keeps the product within Int, so it is computed at Int's own width.
  const Int magnitude = Int(mantissa) * Int(pow10(shift));
  key = value.is_negative() != negate_it ? -magnitude : magnitude;
  return true;
}

// The keys of `levels` into `keys`, false when some value does not fit at `scale`.
template <typename Int>
bool sort_keys(std::span<const LadderLevel> levels, uint32_t scale, bool buy, SortKey<Int>* keys) {
  for (size_t i = 0; i < levels.size(); ++i) {
    keys[i].index = i;
    if (!to_key(levels[i].net, scale, !buy, keys[i].net) ||
        !to_key(levels[i].price, scale, !buy, keys[i].price)) {
      return false;
    }
  }
  return true;
}

// Puts levels[keys[i].index] at i for every i, following each cycle of the permutation once.
template <typename Int>
void permute(std::span<LadderLevel> levels, SortKey<Int>* keys) {
  for (size_t i = 0; i < levels.size(); ++i) {
    if (keys[i].index == i) continue;
    const LadderLevel held = levels[i];
    size_t j = i;
    while (keys[j].index != i) {
      const size_t next = keys[j].index;
      levels[j] = levels[next];
      keys[j].index = j;
      j = next;
    }
    levels[j] = held;
    keys[j].index = j;
  }
}

// Sorts by keys of type Int; false, with `levels` untouched, when some value does not fit one.
template <typename Int>
bool sort_by_keys(std::span<LadderLevel> levels, uint32_t scale, bool buy) {
  const auto keys = std::make_unique_for_overwrite<SortKey<Int>[]>(levels.size());
  if (!sort_keys(levels, scale, buy, keys.get())) return false;
  sort_by(std::span<SortKey<Int>>(keys.get(), levels.size()),
          [](const SortKey<Int>& a, const SortKey<Int>& b) {
            return a.net != b.net ? a.net < b.net : a.price < b.price;
          });
  permute(levels, keys.get());
  return true;
}

}  // namespace

void sort(std::span<LadderLevel> levels, bool buy) {
  uint32_t scale = 0;  // the common scale of the keys
  for (const LadderLevel& level : levels) {
    scale = std::max({scale, level.net.scale(), level.price.scale()});
  }
  if (sort_by_keys<int64_t>(levels, scale, buy) || sort_by_keys<i128>(levels, scale, buy)) return;
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
