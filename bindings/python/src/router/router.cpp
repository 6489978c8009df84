// The router's Python face: `router_view` reads one member's book in bucket terms,
// `router_levels` merges the members' rows into a fee-adjusted ladder (a `RouterLevels`), and
// `RouterLevels.walk` fills a quantity down that ladder.
//
// Failures that mean "not exact" or "not ours" give None so that the Python router takes over;
// wrong argument types and shapes raise. Conversions and the fee callback run Python code, so the
// merge holds strong references to everything it reads and re-reads the member list's length.
#include "router/router.h"

#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "book/local_book.h"
#include "registrations.h"
#include "runtime/adapters.h"
#include "runtime/arguments.h"
#include "runtime/borrow.h"
#include "runtime/class_type.h"
#include "runtime/cpp_object.h"
#include "runtime/errors.h"
#include "runtime/names.h"
#include "runtime/objects.h"
#include "runtime/python.h"
#include "runtime/ref.h"
#include "runtime/tuple.h"
#include "runtime/unfinished.h"
#include "text/concat.h"

namespace orvane::py {

namespace {

// A conversion the Python router would have refused: the answer is None. Interrupts, exits and
// invariant failures (not Exceptions) are never turned into an answer.
PyObject* none_unless_fatal() {
  if (PyErr_Occurred() != nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return nullptr;
    PyErr_Clear();
  }
  Py_RETURN_NONE;
}

bool expect_pair(PyObject* tuple) {
  const Py_ssize_t length = PyTuple_Size(tuple);
  if (length == 2) return true;
  raise(PyExc_ValueError, concat("expected tuple of length 2, but got tuple of length ", length));
  return false;
}

// ---- RouterLevels ----

struct RouterLevelsState {
  Ref market_ids;  // tuple of str, in member order; null once the collector cleared it
  router::Ladder ladder;
};
using RouterLevelsObject = CppObject<RouterLevelsState>;

RouterLevelsState& levels_of(PyObject* self) { return RouterLevelsObject::value_of(self); }

Py_ssize_t ladder_length(PyObject* self) { return Py_ssize_t(levels_of(self).ladder.size()); }

// The reason texts, made once.
PyObject* reason_object(router::Stop reason) {
  static PyObject* texts[3] = {};
  PyObject*& slot = texts[static_cast<size_t>(reason)];
  if (slot == nullptr) {
    const std::string_view text = router::reason_text(reason);
    slot = PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
  }
  Py_XINCREF(slot);
  return slot;
}

// `excluded` as UTF-8 views into its strings. `holder` keeps them alive: it is a tuple copy, so
// code that later runs (a quantity's `__str__`) cannot drop them by mutating the caller's list. A
// str is refused: it is a sequence of one-character texts, never what the caller meant.
std::optional<std::vector<std::string_view>> read_excluded(PyObject* excluded, Ref& holder) {
  if (PyUnicode_Check(excluded)) {
    raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  } else if (!PySequence_Check(excluded)) {
    raise_not_instance(excluded, "Sequence");
  } else {
    holder = Ref::steal(PySequence_Tuple(excluded));
  }
  if (!holder) {
    add_processing_note("excluded");
    return std::nullopt;
  }
  const Py_ssize_t count = PyTuple_Size(holder.get());
  std::vector<std::string_view> texts;
  texts.reserve(size_t(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* item = PyTuple_GetItem(holder.get(), i);
    Py_ssize_t size = 0;
    const char* text = nullptr;
    if (!PyUnicode_Check(item)) {
      raise_not_instance(item, "str");
    } else {
      text = PyUnicode_AsUTF8AndSize(item, &size);
    }
    if (text == nullptr) {
      add_processing_note("excluded");
      return std::nullopt;
    }
    texts.emplace_back(text, size_t(size));
  }
  return texts;
}

const Parameters<4> kWalkParameters{
    "RouterLevels.walk()", {"buy", "quantity", "limit", "excluded"}, 4};

PyObject* walk(PyObject* self_object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<4> a;
  if (!a.bind(kWalkParameters, args, nargs, kwnames)) return nullptr;
  const std::optional<bool> buy = read_bool(a[0], "buy", NumpyBool::kRefused);
  if (!buy) return nullptr;
  Ref excluded_holder;
  const auto excluded = read_excluded(a[3], excluded_holder);
  if (!excluded) return nullptr;
  const std::optional<Decimal> quantity = from_py_exact(a[1]);
  if (!quantity) return none_unless_fatal();
  const std::optional<Decimal> limit = from_py_exact(a[2]);
  if (!limit) return none_unless_fatal();

  RouterLevelsState& self = levels_of(self_object);
  if (!self.market_ids) return raise_invariant_failure("RouterLevels has no members");
  // Held for the whole walk: building the result runs Python code.
  const Ref market_ids = Ref::borrow(self.market_ids.get());
  const Py_ssize_t members = PyTuple_Size(market_ids.get());
  std::vector<std::string_view> ids;
  ids.reserve(size_t(members));
  for (Py_ssize_t i = 0; i < members; ++i) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(PyTuple_GetItem(market_ids.get(), i), &size);
    if (text == nullptr) return nullptr;
    ids.emplace_back(text, size_t(size));
  }
  const std::vector<uint8_t> mask = router::excluded_members(ids, *excluded);

  const std::optional<router::Walk> result =
      router::walk(self.ladder, *buy, *quantity, *limit, mask);
  if (!result) Py_RETURN_NONE;

  Unfinished slots(PyList_New(Py_ssize_t(result->slots.size())));
  if (!slots) return nullptr;
  for (size_t i = 0; i < result->slots.size(); ++i) {
    const router::Slot& slot = result->slots[i];
    TupleBuilder item(5);
    if (!item.add(Ref::borrow(PyTuple_GetItem(market_ids.get(), Py_ssize_t(slot.member)))) ||
        !item.add(decimal(slot.quantity)) || !item.add(decimal(slot.cost)) ||
        !item.add(decimal(slot.fee)) || !item.add(decimal(slot.worst))) {
      return nullptr;
    }
    PyList_SetItem(slots.get(), Py_ssize_t(i), item.take().release());
  }
  TupleBuilder out(3);
  if (!out.add(slots.finish()) || !out.add(decimal(result->remaining)) ||
      !out.add(Ref::steal(reason_object(result->reason)))) {
    return nullptr;
  }
  return out.take().release();
}

int traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(levels_of(self).market_ids.get());
  Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self)));
  return 0;
}

int clear(PyObject* self) {
  levels_of(self).market_ids.reset();
  return 0;
}

PyMethodDef methods[] = {
    {"walk", fastcall(walk), kMethodFlags,
     "walk($self, buy, quantity, limit, excluded)\n--\n\n"
     "`_walk`'s loop: fills `quantity` best net first, up to the net price `limit`,\n"
     "skipping the levels of the members whose market id is in `excluded`.\n"
     "Returns `(slots, remaining, reason)`, a slot being\n"
     "`(market_id, quantity, cost, fee, worst)`, or `None` when the arithmetic\n"
     "would not be exact."},
    {nullptr, nullptr, 0, nullptr},
};

const char kRouterLevelsDoc[] = "One side of the members' books merged and sorted best-net first.";

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kRouterLevelsDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(RouterLevelsObject::gc_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_sq_length, reinterpret_cast<void*>(ladder_length)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "orvane._core.RouterLevels",
    sizeof(RouterLevelsObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
        Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

Ref new_router_levels(std::vector<Ref> market_ids, router::Ladder ladder) {
  Ref ids = Ref::steal(PyTuple_New(Py_ssize_t(market_ids.size())));
  if (!ids) return {};
  for (size_t i = 0; i < market_ids.size(); ++i) {
    PyTuple_SetItem(ids.get(), Py_ssize_t(i), market_ids[i].release());
  }
  return RouterLevelsObject::create(router_levels_class().get(),
                                    RouterLevelsState{std::move(ids), std::move(ladder)});
}

// ---- router_levels ----

// The fee of one row: the callback's answer when it is a Decimal or an int that converts. Null
// with an error set when the callback (or the instance check) raised; nullopt without an error
// when the answer is refused.
enum class FeeOutcome { kValue, kRefused, kRaised };

FeeOutcome read_fee(PyObject* answer, Decimal& fee) {
  PyObject* decimal_type = decimal_class();
  if (decimal_type == nullptr) return FeeOutcome::kRaised;
  // isinstance(answer, (Decimal, int)), the exact types first since they need no lookup.
  if (Py_TYPE(answer) != reinterpret_cast<PyTypeObject*>(decimal_type) && !PyLong_Check(answer)) {
    int accepted = PyObject_IsInstance(answer, decimal_type);
    if (accepted == 0)
      accepted = PyObject_IsInstance(answer, reinterpret_cast<PyObject*>(&PyLong_Type));
    if (accepted < 0) return FeeOutcome::kRaised;
    if (accepted == 0) return FeeOutcome::kRefused;
  }
  const std::optional<Decimal> value = from_py_exact(answer);
  if (!value) return FeeOutcome::kRefused;  // the conversion error is left for the caller
  fee = *value;
  return FeeOutcome::kValue;
}

const Parameters<3> kRouterLevelsParameters{"router_levels()", {"members", "fee", "buy"}, 3};

PyObject* router_levels(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<3> a;
  if (!a.bind(kRouterLevelsParameters, args, nargs, kwnames)) return nullptr;
  PyObject* members = a[0];
  PyObject* fee = a[1];
  if (!PyList_Check(members)) {
    raise_not_instance(members, "list");
    add_processing_note("members");
    return nullptr;
  }
  const std::optional<bool> buy = read_bool(a[2], "buy", NumpyBool::kRefused);
  if (!buy) return nullptr;

  const Ref one = decimal(Decimal::from_integer(1));
  if (!one) return nullptr;
  const Py_ssize_t count = PyList_Size(members);
  std::vector<Ref> market_ids;
  market_ids.reserve(size_t(count));
  router::Ladder ladder;
  Ref last_fee_object;  // the last exact Decimal the callback answered, converted into last_fee
  Decimal last_fee;

  // The fee callback may shorten or extend the list: re-read its length before each item.
  for (Py_ssize_t i = 0; i < count && i < PyList_Size(members); ++i) {
    const Ref item = Ref::borrow(PyList_GetItem(members, i));
    if (!item) return nullptr;
    if (!PyTuple_Check(item.get())) return raise_not_instance(item.get(), "tuple");
    if (!expect_pair(item.get())) return nullptr;
    PyObject* market_id = PyTuple_GetItem(item.get(), 0);  // alive while `item` is held
    if (!PyUnicode_Check(market_id)) return raise_not_instance(market_id, "str");
    // An exact tuple (what router_view gives) is read by index, which yields what its iterator
    // would; anything else is iterated.
    PyObject* source = PyTuple_GetItem(item.get(), 1);
    const bool by_index = PyTuple_CheckExact(source);
    const Ref rows = by_index ? Ref::borrow(source) : Ref::steal(PyObject_GetIter(source));
    if (!rows) return nullptr;
    const Py_ssize_t row_count = by_index ? PyTuple_Size(rows.get()) : 0;
    Py_ssize_t next_row = 0;
    const auto next = [&] {
      if (!by_index) return Ref::steal(PyIter_Next(rows.get()));
      return next_row < row_count ? Ref::borrow(PyTuple_GetItem(rows.get(), next_row++)) : Ref{};
    };
    Ref arguments;  // (market_id, price, one) for the fee callback
    static const bool reuse_arguments = Py_Version < 0x030E0000;
    while (const Ref row = next()) {
      if (!PyTuple_Check(row.get())) return raise_not_instance(row.get(), "tuple");
      if (!expect_pair(row.get())) return nullptr;
      PyObject* price_object = PyTuple_GetItem(row.get(), 0);  // alive while `row` is held
      const std::optional<Decimal> price = from_py_exact(price_object);
      if (!price) return none_unless_fatal();
      const std::optional<Decimal> size = from_py_exact(PyTuple_GetItem(row.get(), 1));
      if (!size) return none_unless_fatal();
      // One argument tuple serves the member's rows while the callback keeps no reference to it:
      // only its price changes, which nobody else can see. Newer interpreters may cache a tuple's
      // hash, which a replaced item would leave stale, so the reuse is kept to those known not to.
      if (reuse_arguments && arguments && Py_REFCNT(arguments.get()) == 1) {
        PyTuple_SetItem(arguments.get(), 1, Ref::borrow(price_object).release());
      } else {
        arguments = Ref::steal(PyTuple_Pack(3, market_id, price_object, one.get()));
        if (!arguments) return nullptr;
      }
      const Ref answer = Ref::steal(PyObject_Call(fee, arguments.get(), nullptr));
      if (!answer) return nullptr;
      // A fee callback usually hands back the same few Decimal objects (a rate per member):
      // an exact Decimal is immutable, so the last one's conversion serves again while we hold it.
      if (answer.get() != last_fee_object.get()) {
        switch (read_fee(answer.get(), last_fee)) {
          case FeeOutcome::kRaised:
            return nullptr;
          case FeeOutcome::kRefused:
            return none_unless_fatal();
          case FeeOutcome::kValue:
            break;
        }
        last_fee_object.reset();
        if (Py_TYPE(answer.get()) == reinterpret_cast<PyTypeObject*>(decimal_class())) {
          last_fee_object = Ref::borrow(answer.get());
        }
      }
      const Decimal& unit_fee = last_fee;
      const std::optional<router::LadderLevel> level =
          router::make_level(*price, *size, unit_fee, size_t(i), *buy);
      if (!level) Py_RETURN_NONE;
      ladder.push_back(*level);
    }
    if (PyErr_Occurred() != nullptr) return nullptr;
    market_ids.push_back(Ref::borrow(market_id));
  }
  router::sort(ladder, *buy);
  return new_router_levels(std::move(market_ids), std::move(ladder)).release();
}

// ---- router_view ----

// Whether `book` has an attribute "side": 1, 0, or -1 with the lookup's error set.
int has_side(PyObject* book) {
  // A LocalBook itself has none: its type and `object` are immutable and define no "side", and it
  // has no instance dictionary. Only a subclass is asked (the failed lookup builds an exception).
  if (Py_TYPE(book) == reinterpret_cast<PyTypeObject*>(local_book_class().get())) return 0;
  Ref side = Ref::steal(PyObject_GetAttr(book, names().side));
  if (side) return 1;
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
  PyErr_Clear();
  return 0;
}

const Parameters<2> kRouterViewParameters{"router_view()", {"book", "flip"}, 2};

PyObject* router_view(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<2> a;
  if (!a.bind(kRouterViewParameters, args, nargs, kwnames)) return nullptr;
  const std::optional<bool> flip = read_bool(a[1], "flip", NumpyBool::kRefused);
  if (!flip) return nullptr;
  LocalBookObject* book = as_local_book(a[0]);
  if (book == nullptr) Py_RETURN_NONE;
  // A book with a side is one half of a two-book market; the Python router reads those itself.
  const int side = has_side(a[0]);
  if (side < 0) return nullptr;
  if (side == 1) Py_RETURN_NONE;

  auto guard = SharedGuard::acquire(book->borrow);
  if (!guard) return raise_invariant_failure(kAlreadyMutablyBorrowed);
  Book::Levels levels = book->book.levels();
  guard->release();

  std::optional<router::View> view =
      router::view(std::move(levels.bids), std::move(levels.asks), *flip);
  if (!view) Py_RETURN_NONE;
  TupleBuilder out(2);
  if (!out.add(pair_tuple(view->asks)) || !out.add(pair_tuple(view->bids))) return nullptr;
  return out.take().release();
}

}  // namespace

ClassType& router_levels_class() {
  static ClassType type("RouterLevels", &spec);
  return type;
}

PyMethodDef router_view_function = {
    "router_view", fastcall(router_view), kMethodFlags,
    "router_view(book, flip)\n--\n\n"
    "`view(book, member)` for this module's `LocalBook`: `(asks, bids)` in bucket\n"
    "terms, each a tuple of `(price, size)` best first. A flipped member's NO book\n"
    "is read as `1 - p` of its YES book (its bids become the asks, its asks the\n"
    "bids). `None` for any other book."};

PyMethodDef router_levels_function = {
    "router_levels", fastcall(router_levels), kMethodFlags,
    "router_levels(members, fee, buy)\n--\n\n"
    "`merge` for the side being planned. `members` is a list of\n"
    "`(market_id, rows)` in bucket order; `rows` holds the member's `(price, size)`\n"
    "levels on that side (its asks for a buy, its bids for a sell) in bucket terms.\n"
    "`fee(market_id, price, 1)` is called once per level, with the row's own price,\n"
    "and gives the fee for one unit. `None` when a fee is not a `Decimal` or an\n"
    "integer, or a net price would not be exact."};

}  // namespace orvane::py
