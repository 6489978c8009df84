#include "venues/polymarket_stream.h"

namespace orvane::polymarket {

bool pending_due(int64_t now, int64_t then) {
  int64_t age = 0;
  if (__builtin_sub_overflow(now, then, &age)) return now > then;
  return age > kPendingMs;
}

bool verify_before_change(bool readable, std::optional<int64_t> pending_time,
                          std::optional<int64_t> message_time) {
  return !readable || pending_time != message_time;
}

std::optional<int64_t> newest_change_time(const std::vector<Message>& messages) {
  std::optional<int64_t> newest;
  for (const Message& message : messages) {
    const auto* change = std::get_if<PriceChange>(&message);
    if (change == nullptr || !change->timestamp) continue;
    if (!newest || *change->timestamp > *newest) newest = change->timestamp;
  }
  return newest;
}

AssetLevels* AppliedLevels::find(std::string_view asset_id) {
  if (assets_.size() <= kScanned) {
    for (AssetLevels& entry : assets_) {
      if (entry.asset_id == asset_id) return &entry;
    }
    return nullptr;
  }
  if (index_.empty()) {
    for (std::size_t i = 0; i < assets_.size(); ++i) index_.emplace(assets_[i].asset_id, i);
  }
  const auto it = index_.find(asset_id);
  return it == index_.end() ? nullptr : &assets_[it->second];
}

void AppliedLevels::record(const Change& change, std::size_t index, const Decimal& size_now) {
  AssetLevels* slot = find(change.asset_id);
  if (slot == nullptr) {
    if (!index_.empty()) index_.emplace(change.asset_id, assets_.size());
    slot = &assets_.emplace_back(AssetLevels{change.asset_id, index, {}, {}});
  }
  (change.side == Side::Bid ? slot->bids : slot->asks).emplace_back(change.price, size_now);
}

}  // namespace orvane::polymarket
