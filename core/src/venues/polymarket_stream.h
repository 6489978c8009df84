// The Polymarket market channel's stream rules, apart from where the state lives.
//
// A price change reports the venue's best prices after it. They are not compared at once: the
// change's asset keeps a pending check (the message's timestamp and those prices), compared with
// the book when it falls due, and a disagreement is a gap (the book is no longer ready). A check
// falls due when
//   - a later message is more than 500 ms newer than it (every such check is compared before that
//     message applies anything, in the order the checks were recorded), or
//   - a change of another message arrives for the same asset (compared before that change).
// A snapshot drops the asset's pending check. The binding keeps the state (books, pending checks)
// in the caller's dicts and asks these functions what is due and in which order events go.
#pragma once

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "book/book.h"
#include "venues/polymarket.h"

namespace orvane::polymarket {

// How much older than a message a pending check must be to fall due at that message.
inline constexpr int64_t kPendingMs = 500;

// Whether a check recorded at `then` falls due at a message of time `now`: now - then > 500,
// without overflow (a difference beyond 64 bits is far above 500 when positive).
bool pending_due(int64_t now, int64_t then);

// Whether a change of a message at `message_time` must first compare the asset's pending check
// recorded at `pending_time`: unless both come from the same message (same timestamp, both
// present or both absent). A pending check that is not in the form this path writes
// (`readable` false) is always compared.
bool verify_before_change(bool readable, std::optional<int64_t> pending_time,
                          std::optional<int64_t> message_time);

// The newest timestamp of the frame's price changes; none when no change carries one.
std::optional<int64_t> newest_change_time(const std::vector<Message>& messages);

// The levels one price-change message changed for one asset, in the order applied. A message
// changes a few levels of a few assets: they stay off the heap.
using AppliedList = absl::InlinedVector<Level, 4>;
struct AssetLevels {
  std::string_view asset_id;
  std::size_t first_change;  // index in the message's changes of the asset's first change
  AppliedList bids;
  AppliedList asks;
};

// The levels one price-change message changed, one entry per asset in the order of the assets'
// first changes: the order of the message's delta events. Finding an asset's entry takes constant
// time however many assets a message touches.
class AppliedLevels {
 public:
  // Records that change `index` of the message set its price to `size_now` on its side.
  void record(const Change& change, std::size_t index, const Decimal& size_now);

  std::span<const AssetLevels> assets() const { return assets_; }

 private:
  // A message touches a few assets: up to this many are found by a scan, beyond it by the index.
  static constexpr std::size_t kScanned = 8;

  AssetLevels* find(std::string_view asset_id);

  absl::InlinedVector<AssetLevels, 4> assets_;
  absl::flat_hash_map<std::string_view, std::size_t> index_;  // asset id -> position in assets_
};

}  // namespace orvane::polymarket
