// polymarket_market: the fast path of the Polymarket market-channel handler. It decodes one frame,
// applies snapshots and level updates to the caller's books, checks each book against the best
// prices the venue reports with its updates, and returns the events for the stream layer.
//
// Everything that can make the frame not ours (decoding, the reported prices, the shape of the
// caller's state) is checked before the first change, so None always means "nothing changed".
#include "venues/polymarket.h"

#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>

#include <algorithm>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/local_book.h"
#include "json/pyjson.h"
#include "registrations.h"
#include "runtime/arguments.h"
#include "runtime/borrow.h"
#include "runtime/errors.h"
#include "runtime/names.h"
#include "runtime/objects.h"
#include "runtime/python.h"
#include "runtime/ref.h"
#include "venues/polymarket_stream.h"
#include "wire/wire.h"

namespace orvane::py {

namespace {

namespace pm = orvane::polymarket;

// The per-frame lists: a frame names a few assets, whose lists then stay off the heap.
template <typename T>
using FrameList = absl::InlinedVector<T, 16>;

// A member as sent, as the Python handler's parsed frame holds it.
Ref reported(const pm::Reported& value) {
  return value.text ? new_str(*value.text) : to_py(value.value);
}

Ref integer_or_none(const std::optional<int64_t>& value) {
  if (!value) return Ref::borrow(Py_None);
  return Ref::steal(PyLong_FromLongLong(*value));
}

// The text of the exception being raised, which is cleared.
std::string take_error_text() {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  Ref owned_type = Ref::steal(type), owned_value = Ref::steal(value);
  Ref owned_traceback = Ref::steal(traceback);
  std::string out = "error";
  if (owned_value) {
    Ref shown = Ref::steal(PyObject_Str(owned_value.get()));
    Py_ssize_t size = 0;
    const char* utf8 = shown ? PyUnicode_AsUTF8AndSize(shown.get(), &size) : nullptr;
    if (utf8 != nullptr) out.assign(utf8, size_t(size));
  }
  PyErr_Clear();
  return out;
}

// A price the caller's state holds: None and "" give none, a bool is refused, a str is parsed, any
// other object through its str(). Python errors become failures (kInvalidDecimal: the object is not
// a price); none is left set.
std::expected<std::optional<Decimal>, Error> venue_object(PyObject* object) {
  if (object == Py_None) return std::nullopt;
  const auto refused = [](std::string text) {
    return std::unexpected(Error(ErrorCode::kInvalidDecimal, std::move(text)));
  };
  if (PyBool_Check(object)) return refused("a bool is not a price");
  Ref shown;
  const bool is_text = PyUnicode_Check(object);
  if (!is_text) {
    shown = Ref::steal(PyObject_Str(object));
    if (!shown) return refused(take_error_text());
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(is_text ? object : shown.get(), &size);
  if (utf8 == nullptr) return refused(take_error_text());
  if (is_text && size == 0) return std::nullopt;
  return wire::parse_decimal(std::string_view(utf8, size_t(size)));
}

// The timestamp of a pending check: 1 with `out` set (nullopt for None), 0 when the item is not
// None or an int in the signed 64-bit range. Runs no Python code.
int entry_timestamp(PyObject* item, std::optional<int64_t>& out) {
  if (item == Py_None) {
    out.reset();
    return 1;
  }
  if (!PyLong_Check(item)) return 0;
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(item, &overflow);
  if (overflow != 0 || (value == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    return 0;
  }
  out = value;
  return 1;
}

// A pending check as this path writes it: (timestamp, bid, ask). Items are borrowed from `entry`.
struct Pending {
  std::optional<int64_t> timestamp;
  PyObject* bid;
  PyObject* ask;
};
std::optional<Pending> read_pending(PyObject* entry) {
  if (!PyTuple_Check(entry) || PyTuple_Size(entry) != 3) return std::nullopt;
  Pending out{std::nullopt, PyTuple_GetItem(entry, 1), PyTuple_GetItem(entry, 2)};
  if (entry_timestamp(PyTuple_GetItem(entry, 0), out.timestamp) == 0) return std::nullopt;
  return out;
}

std::optional<ExclusiveGuard> exclusive(LocalBookObject* book) {
  auto guard = ExclusiveGuard::acquire(book->borrow);
  if (!guard) raise_invariant_failure(kAlreadyBorrowed);
  return guard;
}

std::optional<SharedGuard> shared(LocalBookObject* book) {
  auto guard = SharedGuard::acquire(book->borrow);
  if (!guard) raise_invariant_failure(kAlreadyMutablyBorrowed);
  return guard;
}

// The best prices of a book, read under a shared access; false with the error set on a conflict.
bool best_prices(LocalBookObject* book, std::optional<Decimal>& bid, std::optional<Decimal>& ask) {
  auto guard = shared(book);
  if (!guard) return false;
  bid = book->book.best_bid();
  ask = book->book.best_ask();
  return true;
}

// Removes `key` when the dict holds it; -1 with the error set.
int delete_if_present(PyObject* dict, PyObject* key) {
  if (PyDict_GetItemWithError(dict, key) == nullptr) return PyErr_Occurred() ? -1 : 0;
  return PyDict_DelItem(dict, key);
}

int append(PyObject* list, Ref item) {
  if (!item) return -1;
  return PyList_Append(list, item.get());
}

// One call: the caller's state and the events produced so far.
struct Run {
  PyObject* books;
  PyObject* unverified;
  PyObject* markets;
  const Names* names;
  Ref events;

  // books.get(asset): 1 with the LocalBook in `out`, 0 when absent, -1 with the error set (another
  // object there is the cast error).
  int book(PyObject* asset, Ref& out) {
    PyObject* found = PyDict_GetItemWithError(books, asset);
    if (found == nullptr) return PyErr_Occurred() ? -1 : 0;
    Ref held = Ref::borrow(found);
    if (as_local_book(held.get()) == nullptr) {
      raise_not_instance(held.get(), "LocalBook");
      return -1;
    }
    out = std::move(held);
    return 1;
  }

  // Compares the asset's pending check, if any, with its book and drops it: 1 when they disagree
  // (a gap: the event is appended and the book is no longer ready), 0 otherwise, -1 on error.
  int verify(PyObject* asset) {
    PyObject* found = PyDict_GetItemWithError(unverified, asset);
    if (found == nullptr) return PyErr_Occurred() ? -1 : 0;
    Ref entry = Ref::borrow(found);
    if (PyDict_DelItem(unverified, asset) < 0) return -1;
    Ref held;
    const int has = book(asset, held);
    if (has <= 0) return has;
    LocalBookObject* local = as_local_book(held.get());
    {
      auto guard = shared(local);
      if (!guard) return -1;
      if (!local->book.ready) return 0;
    }
    const auto pending = read_pending(entry.get());
    Ref venue_bid = Ref::borrow(pending ? pending->bid : Py_None);
    Ref venue_ask = Ref::borrow(pending ? pending->ask : Py_None);
    const auto bid = venue_object(venue_bid.get());
    const auto ask = venue_object(venue_ask.get());
    std::optional<Decimal> local_bid, local_ask;
    if (!best_prices(local, local_bid, local_ask)) return -1;
    if (pm::agrees(local_bid, bid ? *bid : std::nullopt) &&
        pm::agrees(local_ask, ask ? *ask : std::nullopt)) {
      return 0;
    }
    Ref best_bid = optional_decimal(local_bid);
    if (!best_bid) return -1;
    Ref best_ask = optional_decimal(local_ask);
    if (!best_ask) return -1;
    if (append(events.get(),
               Ref::steal(PyTuple_Pack(6, names->gap, asset, best_bid.get(), best_ask.get(),
                                       venue_bid.get(), venue_ask.get()))) < 0) {
      return -1;
    }
    auto guard = exclusive(local);
    if (!guard) return -1;
    local->book.ready = false;
    return 1;
  }

  bool snapshot(const pm::BookMessage& m, PyObject* asset);
  // A price-change message, in three steps: the checks it makes due, its changes, its events.
  bool price_change(const pm::PriceChange& m, const Ref* assets) {
    Ref timestamp = integer_or_none(m.timestamp);
    if (!timestamp) return false;
    pm::AppliedLevels applied;
    return verify_due(m) && apply_changes(m, assets, timestamp.get(), applied) &&
           emit_deltas(m, assets, timestamp.get(), applied);
  }
  bool verify_due(const pm::PriceChange& m);
  bool apply_changes(const pm::PriceChange& m, const Ref* assets, PyObject* timestamp,
                     pm::AppliedLevels& applied);
  bool emit_deltas(const pm::PriceChange& m, const Ref* assets, PyObject* timestamp,
                   const pm::AppliedLevels& applied);
};

bool Run::snapshot(const pm::BookMessage& m, PyObject* asset) {
  Ref market = key_str(m.market);
  if (!market || PyDict_SetItem(markets, asset, market.get()) < 0) return false;
  Ref held;
  const int has = book(asset, held);
  if (has < 0) return false;
  if (has == 0) {
    held = new_local_book();
    if (!held || PyDict_SetItem(books, asset, held.get()) < 0) return false;
  }
  LocalBookObject* local = as_local_book(held.get());
  Ref timestamp = integer_or_none(m.timestamp);
  if (!timestamp) return false;
  bool resynced = false;
  Book::Levels levels;
  std::optional<Decimal> best_bid, best_ask;
  Ref previous;
  {
    auto guard = exclusive(local);
    if (!guard) return false;
    resynced = !local->book.ready && local->timestamp != nullptr;
    local->book.replace(m.bids, m.asks);
    previous = replace_field(local->timestamp, timestamp.get());
    levels = local->book.levels();
    best_bid = local->book.best_bid();
    best_ask = local->book.best_ask();
  }
  previous.reset();  // its finaliser may run code: only once the book is released
  Ref bids = level_tuple(levels.bids);
  if (!bids) return false;
  Ref asks = level_tuple(levels.asks);
  if (!asks) return false;
  Ref bid = optional_decimal(best_bid);
  if (!bid) return false;
  Ref ask = optional_decimal(best_ask);
  if (!ask) return false;
  if (delete_if_present(unverified, asset) < 0) return false;
  if (resynced && append(events.get(), Ref::steal(PyTuple_Pack(2, names->resynced, asset))) < 0) {
    return false;
  }
  Ref extra = Ref::steal(PyDict_New());
  if (!extra) return false;
  const std::pair<PyObject*, const JsonValue*> members[] = {
      {names->hash, &m.hash},
      {names->tick_size, &m.tick_size},
      {names->last_trade_price, &m.last_trade_price}};
  for (const auto& [name, value] : members) {
    Ref converted = to_py(*value);
    if (!converted || PyDict_SetItem(extra.get(), name, converted.get()) < 0) return false;
  }
  return append(events.get(),
                Ref::steal(PyTuple_Pack(10, names->book, asset, market.get(), names->snapshot,
                                        bids.get(), asks.get(), bid.get(), ask.get(),
                                        timestamp.get(), extra.get()))) >= 0;
}

// Every pending check that falls due at this message, in the dict's order.
bool Run::verify_due(const pm::PriceChange& m) {
  if (!m.timestamp) return true;
  FrameList<Ref> due;
  PyObject *key = nullptr, *value = nullptr;
  Py_ssize_t position = 0;
  while (PyDict_Next(unverified, &position, &key, &value)) {
    const auto pending = read_pending(value);
    if (pending && pending->timestamp && pm::pending_due(*m.timestamp, *pending->timestamp)) {
      due.push_back(Ref::borrow(key));
    }
  }
  for (const Ref& asset : due) {
    if (verify(asset.get()) < 0) return false;
  }
  return true;
}

// Each change whose book is ready, after the asset's own pending check when that one is due (a gap
// skips the change); the change's reported prices become the asset's pending check.
bool Run::apply_changes(const pm::PriceChange& m, const Ref* assets, PyObject* timestamp,
                        pm::AppliedLevels& applied) {
  for (size_t i = 0; i < m.changes.size(); ++i) {
    const pm::Change& change = m.changes[i];
    PyObject* asset = assets[i].get();
    Ref held;
    const int has = book(asset, held);
    if (has < 0) return false;
    if (has == 0) continue;
    LocalBookObject* local = as_local_book(held.get());
    {
      auto guard = shared(local);
      if (!guard) return false;
      if (!local->book.ready) continue;
    }
    PyObject* found = PyDict_GetItemWithError(unverified, asset);
    if (found == nullptr && PyErr_Occurred()) return false;
    if (found != nullptr) {
      Ref entry = Ref::borrow(found);
      const auto pending = read_pending(entry.get());
      if (pm::verify_before_change(pending.has_value(), pending ? pending->timestamp : std::nullopt,
                                   m.timestamp)) {
        const int gap = verify(asset);
        if (gap < 0) return false;
        if (gap > 0) continue;
      }
    }
    Decimal now;
    Ref previous;
    {
      auto guard = exclusive(local);
      if (!guard) return false;
      now = local->book.set(change.side, change.price, change.size);
      previous = replace_field(local->timestamp, timestamp);
    }
    previous.reset();
    applied.record(change, i, now);
    Ref bid = reported(change.best_bid);
    if (!bid) return false;
    Ref ask = reported(change.best_ask);
    if (!ask) return false;
    Ref entry = Ref::steal(PyTuple_Pack(3, timestamp, bid.get(), ask.get()));
    if (!entry || PyDict_SetItem(unverified, asset, entry.get()) < 0) return false;
  }
  return true;
}

// One delta event per asset changed, with the book's best prices now.
bool Run::emit_deltas(const pm::PriceChange& m, const Ref* assets, PyObject* timestamp,
                      const pm::AppliedLevels& applied) {
  if (applied.assets().empty()) return true;
  Ref market = key_str(m.market);
  if (!market) return false;
  for (const pm::AssetLevels& a : applied.assets()) {
    PyObject* asset = assets[a.first_change].get();
    Ref held;
    const int has = book(asset, held);
    if (has < 0) return false;
    std::optional<Decimal> best_bid, best_ask;
    if (has > 0 && !best_prices(as_local_book(held.get()), best_bid, best_ask)) return false;
    Ref bids = level_tuple(a.bids);
    if (!bids) return false;
    Ref asks = level_tuple(a.asks);
    if (!asks) return false;
    Ref bid = optional_decimal(best_bid);
    if (!bid) return false;
    Ref ask = optional_decimal(best_ask);
    if (!ask) return false;
    if (append(events.get(), Ref::steal(PyTuple_Pack(
                                 10, names->book, asset, market.get(), names->delta, bids.get(),
                                 asks.get(), bid.get(), ask.get(), timestamp, Py_None))) < 0) {
      return false;
    }
  }
  return true;
}

// The asset id of each book message and of each change, in frame order, as str (equal ids share
// one object, and so its hash): 1, or 0 when a change's reported best price is not a price, or -1
// with an error set.
int frame_assets(const std::vector<pm::Message>& messages, FrameList<Ref>& out) {
  // A frame touches a handful of assets; the search is bounded for frames that touch many.
  constexpr size_t kShared = 16;
  FrameList<std::pair<std::string_view, PyObject*>> distinct;
  const auto add = [&](std::string_view id) {
    for (const auto& [seen, object] : distinct) {
      if (seen == id) {
        out.push_back(Ref::borrow(object));
        return true;
      }
    }
    out.push_back(key_str(id));
    if (out.back() && distinct.size() < kShared) distinct.emplace_back(id, out.back().get());
    return static_cast<bool>(out.back());
  };
  for (const pm::Message& message : messages) {
    if (const auto* book = std::get_if<pm::BookMessage>(&message)) {
      if (!add(book->asset_id)) return -1;
      continue;
    }
    for (const pm::Change& change : std::get<pm::PriceChange>(message).changes) {
      if (!pm::venue_value(change.best_bid) || !pm::venue_value(change.best_ask)) return 0;
      if (!add(change.asset_id)) return -1;
    }
  }
  return 1;
}

// The distinct asset ids of a frame's changes. A frame names a few: a scan of those beats hashing
// ids of some 80 bytes; beyond a few the set takes over.
class AssetSet {
 public:
  void insert(std::string_view id) {
    if (!hashed_.empty()) {
      hashed_.insert(id);
      return;
    }
    if (std::find(few_.begin(), few_.end(), id) != few_.end()) return;
    if (few_.size() < kScanned) {
      few_.push_back(id);
      return;
    }
    hashed_.insert(few_.begin(), few_.end());
    hashed_.insert(id);
  }
  bool empty() const { return few_.empty(); }
  bool contains(std::string_view id) const {
    if (!hashed_.empty()) return hashed_.contains(id);
    return std::find(few_.begin(), few_.end(), id) != few_.end();
  }

 private:
  static constexpr size_t kScanned = 16;
  FrameList<std::string_view> few_;
  absl::flat_hash_set<std::string_view> hashed_;
};

// Whether this path can handle the caller's state for this frame, before anything changes: 1 yes,
// 0 no, -1 with an error set. `names` receives the keys of the pending checks this frame will
// compare.
int state_is_ours(const std::vector<pm::Message>& messages, PyObject* books, PyObject* unverified,
                  FrameList<Ref>& names) {
  const std::optional<int64_t> newest = pm::newest_change_time(messages);
  AssetSet batch;
  for (const pm::Message& message : messages) {
    const auto* change = std::get_if<pm::PriceChange>(&message);
    if (change == nullptr) continue;
    for (const pm::Change& c : change->changes) batch.insert(c.asset_id);
  }
  // Shapes first, holding what will be compared: reading the prices below may run Python code.
  FrameList<std::pair<Ref, Ref>> compared;
  PyObject *key = nullptr, *value = nullptr;
  Py_ssize_t position = 0;
  while (PyDict_Next(unverified, &position, &key, &value)) {
    const auto pending = read_pending(value);
    if (!pending || !PyUnicode_Check(key)) return 0;
    bool wanted = newest && pending->timestamp && pm::pending_due(*newest, *pending->timestamp);
    if (!wanted && !batch.empty()) {
      Py_ssize_t size = 0;
      const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
      if (utf8 == nullptr) {
        PyErr_Clear();  // a lone surrogate: no asset id of a frame
      } else {
        wanted = batch.contains(std::string_view(utf8, size_t(size)));
      }
    }
    if (wanted) compared.emplace_back(Ref::borrow(key), Ref::borrow(value));
  }
  for (auto& [asset, entry] : compared) {
    const auto pending = read_pending(entry.get());
    if (!venue_object(pending->bid) || !venue_object(pending->ask)) return 0;
    names.push_back(std::move(asset));
  }
  for (const Ref& name : names) {
    PyObject* found = PyDict_GetItemWithError(books, name.get());
    if (found == nullptr) {
      if (PyErr_Occurred()) return -1;
      continue;
    }
    if (as_local_book(found) == nullptr) return 0;
  }
  return 1;
}

const Parameters<4> kParameters{
    "polymarket_market()", {"raw", "books", "unverified", "markets"}, 4};

PyObject* polymarket_market(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<4> a;
  if (!a.bind(kParameters, args, nargs, kwnames)) return nullptr;
  if (!check_argument(a[0], PyUnicode_Check(a[0]), "str", "raw") ||
      !check_argument(a[1], PyDict_Check(a[1]), "dict", "books") ||
      !check_argument(a[2], PyDict_Check(a[2]), "dict", "unverified") ||
      !check_argument(a[3], PyDict_Check(a[3]), "dict", "markets")) {
    return nullptr;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(a[0], &size);
  if (utf8 == nullptr) {
    PyErr_Clear();  // lone surrogates: no venue sends them, the Python handler decides
    Py_RETURN_NONE;
  }
  auto decoded = pm::decode(std::string_view(utf8, size_t(size)));
  if (!decoded || !std::holds_alternative<std::vector<pm::Message>>(*decoded)) Py_RETURN_NONE;
  const auto& messages = std::get<std::vector<pm::Message>>(*decoded);

  FrameList<Ref> assets;
  const int named = frame_assets(messages, assets);
  if (named <= 0) return named < 0 ? nullptr : Py_NewRef(Py_None);
  FrameList<Ref> names;
  names.reserve(assets.size());
  for (const Ref& asset : assets) names.push_back(Ref::borrow(asset.get()));
  const int ours = state_is_ours(messages, a[1], a[2], names);
  if (ours < 0) return nullptr;
  if (ours == 0) Py_RETURN_NONE;

  Run run{a[1], a[2], a[3], &py::names(), Ref::steal(PyList_New(0))};
  if (!run.events) return nullptr;
  const Ref* next = assets.data();
  for (const pm::Message& message : messages) {
    if (const auto* book = std::get_if<pm::BookMessage>(&message)) {
      if (!run.snapshot(*book, next->get())) return nullptr;
      ++next;
    } else {
      const auto& change = std::get<pm::PriceChange>(message);
      if (!run.price_change(change, next)) return nullptr;
      next += change.changes.size();
    }
  }
  return run.events.release();
}

}  // namespace

PyMethodDef polymarket_market_function = {
    "polymarket_market", fastcall(polymarket_market), kMethodFlags,
    "polymarket_market(raw, books, unverified, markets)\n--\n\n"};

}  // namespace orvane::py
