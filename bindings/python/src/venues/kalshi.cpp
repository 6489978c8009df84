// Kalshi book messages: `kalshi_book_message` decodes a frame into a `KalshiBookMessage`, whose
// `apply` changes the caller's books and builds the stream's event tuple.
#include "venues/kalshi.h"

#include <new>
#include <string_view>
#include <utility>
#include <variant>

#include "book/local_book.h"
#include "json/pyjson.h"
#include "registrations.h"
#include "runtime/arguments.h"
#include "runtime/class_type.h"
#include "runtime/cpp_object.h"
#include "runtime/errors.h"
#include "runtime/names.h"
#include "runtime/objects.h"

namespace orvane::py {

namespace {

// The decoded message and its ticker as the str that `kalshi_book_message` looked up (a str holds
// no references, so the object needs no collector support).
struct Decoded {
  kalshi::Message message;
  Ref ticker;
};

using KalshiBookMessageObject = CppObject<Decoded>;

const kalshi::Message& message_of(PyObject* self) {
  return KalshiBookMessageObject::value_of(self).message;
}

bool check_dict(PyObject* object, const char* parameter) {
  if (PyDict_Check(object)) return true;
  raise_not_instance(object, "dict");
  add_processing_note(parameter);
  return false;
}

// books[ticker] as a strong reference; empty without an error when absent.
Ref lookup(PyObject* books, PyObject* ticker) {
  return Ref::borrow(PyDict_GetItemWithError(books, ticker));
}

Ref new_message(kalshi::Message message, Ref ticker);

const Parameters<2> kDecodeParameters{"kalshi_book_message()", {"raw", "books"}, 2};
PyObject* kalshi_book_message(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  Arguments<2> a;
  if (!a.bind(kDecodeParameters, args, nargs, kwnames)) return nullptr;
  if (!PyUnicode_Check(a[0])) {
    raise_not_instance(a[0], "str");
    add_processing_note("raw");
    return nullptr;
  }
  if (!check_dict(a[1], "books")) return nullptr;
  Py_ssize_t size = 0;
  const char* raw = PyUnicode_AsUTF8AndSize(a[0], &size);
  if (raw == nullptr) {
    // A str with lone surrogates has no UTF-8 form: not a frame we can read, so the Python
    // handler takes it.
    PyErr_Clear();
    Py_RETURN_NONE;
  }
  auto message = kalshi::decode(std::string_view(raw, size_t(size)));
  if (!message) Py_RETURN_NONE;
  const std::string& ticker_text =
      std::visit([](const auto& body) -> const std::string& { return body.ticker; }, message->book);
  Ref ticker = key_str(ticker_text);
  if (!ticker) return nullptr;
  Ref entry = lookup(a[1], ticker.get());
  if (!entry && PyErr_Occurred()) return nullptr;
  if (entry && as_local_book(entry.get()) == nullptr) Py_RETURN_NONE;
  return new_message(std::move(*message), std::move(ticker)).release();
}

// The book for `ticker`, or a new one stored in `books` when absent and `create` is set. Empty
// without an error when absent and not created.
Ref book_entry(PyObject* books, PyObject* ticker, bool create, LocalBookObject*& book) {
  Ref entry = lookup(books, ticker);
  if (!entry) {
    if (PyErr_Occurred() || !create) return {};
    entry = new_local_book();
    if (!entry || PyDict_SetItem(books, ticker, entry.get()) < 0) return {};
  }
  book = as_local_book(entry.get());
  if (book == nullptr) {
    raise_not_instance(entry.get(), "LocalBook");
    return {};
  }
  return entry;
}

PyObject* apply_snapshot(const kalshi::Message& message, const kalshi::Snapshot& snapshot,
                         PyObject* ticker, PyObject* books) {
  // Every Python value is made before the book is touched: making one can run a collection, and
  // with it code that reaches into the book.
  Ref seq = to_py(message.seq);
  if (!seq) return nullptr;
  Ref market_id = to_py(snapshot.market_id);
  if (!market_id) return nullptr;
  Ref info = Ref::steal(PyDict_New());
  if (!info || PyDict_SetItem(info.get(), names().market_id, market_id.get()) < 0) {
    return nullptr;
  }
  LocalBookObject* book = nullptr;
  Ref entry = book_entry(books, ticker, true, book);
  if (!entry) return nullptr;

  auto guard = ExclusiveGuard::acquire(book->borrow);
  if (!guard) return raise_invariant_failure(kAlreadyBorrowed);
  const bool recovering = !book->book.ready && book->sequence != nullptr;
  kalshi::apply(book->book, snapshot);
  Ref old_sequence = replace_field(book->sequence, seq.get());
  Book::Levels levels = book->book.levels();
  const std::optional<Decimal> best_bid = book->book.best_bid();
  const std::optional<Decimal> best_ask = book->book.best_ask();
  guard->release();
  old_sequence.reset();

  Ref bids = level_tuple(levels.bids);
  if (!bids) return nullptr;
  Ref asks = level_tuple(levels.asks);
  if (!asks) return nullptr;
  Ref bid = optional_decimal(best_bid);
  if (!bid) return nullptr;
  Ref ask = optional_decimal(best_ask);
  if (!ask) return nullptr;
  return PyTuple_Pack(8, names().snapshot, ticker, recovering ? Py_True : Py_False, bids.get(),
                      asks.get(), bid.get(), ask.get(), info.get());
}

PyObject* apply_delta(const kalshi::Message& message, const kalshi::Delta& delta, PyObject* ticker,
                      PyObject* books) {
  LocalBookObject* book = nullptr;
  Ref entry = book_entry(books, ticker, false, book);
  if (!entry) {
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
  }
  Ref seq = to_py(message.seq);
  if (!seq) return nullptr;
  Ref timestamp = to_py(delta.ts_ms);
  if (!timestamp) return nullptr;
  Ref info = Ref::steal(PyDict_New());
  if (!info) return nullptr;
  if (kalshi::truthy(delta.client_order_id)) {
    Ref id = to_py(delta.client_order_id);
    if (!id || PyDict_SetItem(info.get(), names().client_order_id, id.get()) < 0) {
      return nullptr;
    }
  }

  auto guard = ExclusiveGuard::acquire(book->borrow);
  if (!guard) return raise_invariant_failure(kAlreadyBorrowed);
  if (!book->book.ready) {
    // A book that is not ready ignores deltas but still records how far the stream has gone.
    Ref old_sequence = replace_field(book->sequence, seq.get());
    guard->release();
    Py_RETURN_NONE;
  }
  auto level = kalshi::apply(book->book, delta);
  if (!level) {
    guard->release();
    return raise_error(level.error());
  }
  Ref old_sequence = replace_field(book->sequence, seq.get());
  Ref old_timestamp = replace_field(book->timestamp, timestamp.get());
  const std::optional<Decimal> best_bid = book->book.best_bid();
  const std::optional<Decimal> best_ask = book->book.best_ask();
  guard->release();
  old_sequence.reset();
  old_timestamp.reset();

  Ref changed = level_tuple(std::span<const Level>(&*level, 1));
  if (!changed) return nullptr;
  Ref empty = level_tuple({});
  if (!empty) return nullptr;
  Ref bid = optional_decimal(best_bid);
  if (!bid) return nullptr;
  Ref ask = optional_decimal(best_ask);
  if (!ask) return nullptr;
  const bool bids_changed = delta.side == Side::Bid;
  return PyTuple_Pack(8, names().delta, ticker, bids_changed ? changed.get() : empty.get(),
                      bids_changed ? empty.get() : changed.get(), bid.get(), ask.get(),
                      timestamp.get(), info.get());
}

const Parameters<1> kApplyParameters{"KalshiBookMessage.apply()", {"books"}, 1};
PyObject* apply(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<1> a;
  if (!a.bind(kApplyParameters, args, nargs, kwnames)) return nullptr;
  if (!check_dict(a[0], "books")) return nullptr;
  const Decoded& decoded = KalshiBookMessageObject::value_of(self);
  const kalshi::Message& message = decoded.message;
  // Held for the call: a finaliser run by the books dict cannot take it away.
  Ref ticker = Ref::borrow(decoded.ticker.get());
  if (const auto* snapshot = std::get_if<kalshi::Snapshot>(&message.book)) {
    return apply_snapshot(message, *snapshot, ticker.get(), a[0]);
  }
  return apply_delta(message, std::get<kalshi::Delta>(message.book), ticker.get(), a[0]);
}

PyObject* get_seq(PyObject* self, void*) { return to_py(message_of(self).seq).release(); }
PyObject* get_sid(PyObject* self, void*) { return to_py(message_of(self).sid).release(); }
PyObject* get_kind(PyObject* self, void*) { return new_str(message_of(self).kind).release(); }
PyObject* get_seq_number(PyObject* self, void*) {
  const auto& number = message_of(self).seq_number;
  if (!number) Py_RETURN_NONE;
  return PyLong_FromLongLong(*number);
}

PyMethodDef methods[] = {
    {"apply", fastcall(apply), kMethodFlags,
     "apply($self, books)\n--\n\n"
     "Apply to `books` (ticker -> LocalBook). Returns\n"
     "`(\"snapshot\", ticker, recovering, bids, asks, best_bid, best_ask, info)`,\n"
     "`(\"delta\", ticker, bids, asks, best_bid, best_ask, timestamp, info)`, or\n"
     "`None` for a delta to a book that is not ready (its sequence is still\n"
     "recorded, as the Python stream's `_on_delta` does)."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    {"seq", get_seq, nullptr, "`seq` as sent, for `book.sequence` and the event.", nullptr},
    {"sid", get_sid, nullptr, nullptr, nullptr},
    {"kind", get_kind, nullptr, "The message's `type`: `orderbook_snapshot` or `orderbook_delta`.",
     nullptr},
    {"seq_number", get_seq_number, nullptr,
     "`int(seq)`, for the sequence check; `None` without one.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("One decoded book message, not yet applied.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(KalshiBookMessageObject::dealloc)},
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {0, nullptr},
};

PyType_Spec spec = {
    "orvane._core.KalshiBookMessage",
    sizeof(KalshiBookMessageObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

Ref new_message(kalshi::Message message, Ref ticker) {
  return KalshiBookMessageObject::create(kalshi_book_message_class().get(),
                                         Decoded{std::move(message), std::move(ticker)});
}

}  // namespace

ClassType& kalshi_book_message_class() {
  static ClassType type("KalshiBookMessage", &spec);
  return type;
}

PyMethodDef kalshi_book_message_function = {
    "kalshi_book_message", fastcall(kalshi_book_message), kMethodFlags,
    "kalshi_book_message(raw, books)\n--\n\n"
    "Decode a Kalshi frame that is an order-book snapshot or delta. Returns\n"
    "`None` when the frame is anything else, when the Python handler would raise\n"
    "on it, or when the book it is for is not one of this module's `LocalBook`\n"
    "objects."};

}  // namespace orvane::py
