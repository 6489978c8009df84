#include "book/local_book.h"

#include <new>
#include <string_view>
#include <utility>

#include "book/book_side.h"
#include "runtime/adapters.h"
#include "runtime/arguments.h"
#include "runtime/errors.h"
#include "runtime/objects.h"
#include "text/concat.h"

namespace orvane::py {

namespace {

LocalBookObject* self_of(PyObject* self) { return reinterpret_cast<LocalBookObject*>(self); }

// Accesses from the LocalBook's own methods and properties: a conflict is a RuntimeError.
std::optional<SharedGuard> shared(LocalBookObject* self) {
  auto guard = SharedGuard::acquire(self->borrow);
  if (!guard) raise(PyExc_RuntimeError, kAlreadyMutablyBorrowed);
  return guard;
}

std::optional<ExclusiveGuard> exclusive(LocalBookObject* self) {
  auto guard = ExclusiveGuard::acquire(self->borrow);
  if (!guard) raise(PyExc_RuntimeError, kAlreadyBorrowed);
  return guard;
}

// Exactly "bid" selects the bid side; any other text (even "BID" or "ask") the ask side.
std::optional<Side> read_side(PyObject* side) {
  if (!PyUnicode_Check(side)) {
    raise_not_instance(side, "str");
    add_processing_note("side");
    return std::nullopt;
  }
  return PyUnicode_CompareWithASCIIString(side, "bid") == 0 ? Side::Bid : Side::Ask;
}

std::optional<Decimal> read_decimal(PyObject* object, const char* parameter) {
  auto value = extract_decimal(object);
  if (!value) add_processing_note(parameter);
  return value;
}

// add and set: take the book, read side, price and amount, apply, hand back the new size.
template <typename Apply>
PyObject* change_level(PyObject* self_object, Apply apply, const char* amount_name,
                       PyObject* side_object, PyObject* price_object, PyObject* amount_object) {
  LocalBookObject* self = self_of(self_object);
  auto guard = exclusive(self);
  if (!guard) return nullptr;
  auto side = read_side(side_object);
  if (!side) return nullptr;
  auto price = read_decimal(price_object, "price");
  if (!price) return nullptr;
  auto amount = read_decimal(amount_object, amount_name);
  if (!amount) return nullptr;
  auto result = apply(self->book, *side, *price, *amount);
  guard->release();
  if (!result) return raise_error(result.error());
  return new_decimal(*result).release();
}

const Parameters<3> kAddParameters{"LocalBook.add()", {"side", "price", "delta"}, 3};
PyObject* add(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<3> a;
  if (!a.bind(kAddParameters, args, nargs, kwnames)) return nullptr;
  return change_level(
      self,
      [](Book& book, Side side, const Decimal& price, const Decimal& delta) {
        return book.add(side, price, delta);
      },
      "delta", a[0], a[1], a[2]);
}

const Parameters<3> kSetParameters{"LocalBook.set()", {"side", "price", "size"}, 3};
PyObject* set(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<3> a;
  if (!a.bind(kSetParameters, args, nargs, kwnames)) return nullptr;
  return change_level(
      self,
      [](Book& book, Side side, const Decimal& price, const Decimal& size)
          -> std::expected<Decimal, Error> { return book.set(side, price, size); },
      "size", a[0], a[1], a[2]);
}

const Parameters<2> kReplaceParameters{"LocalBook.replace()", {"bids", "asks"}, 2};
PyObject* replace(PyObject* self_object, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
  Arguments<2> a;
  if (!a.bind(kReplaceParameters, args, nargs, kwnames)) return nullptr;
  // Both inputs are read completely before the book is taken: reading them may iterate a view of
  // this very book, which must fail as an ordinary TypeError, not as a borrow conflict.
  auto bids = pairs(a[0]);
  if (!bids) return nullptr;
  auto asks = pairs(a[1]);
  if (!asks) return nullptr;
  LocalBookObject* self = self_of(self_object);
  auto guard = exclusive(self);
  if (!guard) return nullptr;
  self->book.replace(*bids, *asks);
  Py_RETURN_NONE;
}

const Parameters<1> kLevelsParameters{"LocalBook.levels()", {"depth"}, 0};
PyObject* levels(PyObject* self_object, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames) {
  Arguments<1> a;
  if (!a.bind(kLevelsParameters, args, nargs, kwnames)) return nullptr;
  LocalBookObject* self = self_of(self_object);
  auto guard = shared(self);
  if (!guard) return nullptr;
  std::optional<size_t> depth;
  if (a[0] != nullptr && a[0] != Py_None) {
    // Any non-negative integer is a valid depth; one past 64 bits means every level.
    Ref index = Ref::steal(PyNumber_Index(a[0]));
    int overflow = 0;
    const long long count = index ? PyLong_AsLongLongAndOverflow(index.get(), &overflow) : 0;
    if (index && (overflow < 0 || (overflow == 0 && count < 0))) {
      PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
    }
    if (PyErr_Occurred()) {
      add_processing_note("depth");
      return nullptr;
    }
    if (overflow == 0) depth = size_t(count);
  }
  Book::Levels copied = self->book.levels(depth);
  guard->release();
  Ref bids = level_tuple(copied.bids);
  if (!bids) return nullptr;
  Ref asks = level_tuple(copied.asks);
  if (!asks) return nullptr;
  return PyTuple_Pack(2, bids.get(), asks.get());
}

const Parameters<1> kMirroredParameters{"LocalBook.mirrored()", {"face_value"}, 0};
PyObject* mirrored(PyObject* self_object, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
  Arguments<1> a;
  if (!a.bind(kMirroredParameters, args, nargs, kwnames)) return nullptr;
  LocalBookObject* self = self_of(self_object);
  auto guard = shared(self);
  if (!guard) return nullptr;
  Decimal face = Decimal::from_integer(1);
  if (a[0] != nullptr) {
    auto given = read_decimal(a[0], "face_value");
    if (!given) return nullptr;
    face = *given;
  }
  auto sides = self->book.mirrored(face);
  const bool ready = self->book.ready;
  Ref sequence = Ref::borrow(self->sequence);
  Ref timestamp = Ref::borrow(self->timestamp);
  // Allocating the new book can run a collection and finalisers: not while this one is held.
  guard->release();
  if (!sides) return raise_error(sides.error());
  Ref result = new_local_book();
  if (!result) return nullptr;
  LocalBookObject* other = self_of(result.get());
  other->book.bids = std::move(sides->bids);
  other->book.asks = std::move(sides->asks);
  other->book.ready = ready;
  // The new book is not reachable from Python yet, so its fields can be set without an access.
  other->sequence = sequence.release();
  other->timestamp = timestamp.release();
  return result.release();
}

PyObject* invalidate(PyObject* self_object, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("LocalBook.invalidate()", nargs, kwnames)) return nullptr;
  LocalBookObject* self = self_of(self_object);
  auto guard = exclusive(self);
  if (!guard) return nullptr;
  self->book.ready = false;
  Py_RETURN_NONE;
}

PyObject* get_side(PyObject* self, void* closure) {
  return new_book_side(self, closure == nullptr ? Side::Bid : Side::Ask).release();
}

int no_deleter() {
  raise(PyExc_AttributeError, "property has no deleter");
  return -1;
}

int set_side(PyObject* self_object, PyObject* value, void* closure) {
  if (value == nullptr) return no_deleter();
  // Read before the book is taken, as in `replace`.
  auto levels = mapping_levels(value);
  if (!levels) return -1;
  LocalBookObject* self = self_of(self_object);
  auto guard = exclusive(self);
  if (!guard) return -1;
  self->book.side(closure == nullptr ? Side::Bid : Side::Ask) = std::move(*levels);
  return 0;
}

PyObject* get_field(PyObject* self_object, PyObject* LocalBookObject::*field) {
  LocalBookObject* self = self_of(self_object);
  auto guard = shared(self);
  if (!guard) return nullptr;
  return field_value(self->*field).release();
}

int set_field(PyObject* self_object, PyObject* value, PyObject* LocalBookObject::*field) {
  if (value == nullptr) return no_deleter();
  LocalBookObject* self = self_of(self_object);
  auto guard = exclusive(self);
  if (!guard) return -1;
  Ref old = replace_field(self->*field, value);
  guard->release();
  return 0;
}

PyObject* get_sequence(PyObject* self, void*) {
  return get_field(self, &LocalBookObject::sequence);
}
int set_sequence(PyObject* self, PyObject* value, void*) {
  return set_field(self, value, &LocalBookObject::sequence);
}
PyObject* get_timestamp(PyObject* self, void*) {
  return get_field(self, &LocalBookObject::timestamp);
}
int set_timestamp(PyObject* self, PyObject* value, void*) {
  return set_field(self, value, &LocalBookObject::timestamp);
}

PyObject* get_ready(PyObject* self_object, void*) {
  LocalBookObject* self = self_of(self_object);
  auto guard = shared(self);
  if (!guard) return nullptr;
  return PyBool_FromLong(self->book.ready);
}

int set_ready(PyObject* self_object, PyObject* value, void*) {
  if (value == nullptr) return no_deleter();
  LocalBookObject* self = self_of(self_object);
  auto guard = exclusive(self);
  if (!guard) return -1;
  const std::optional<bool> ready = read_bool(value, "value", NumpyBool::kAccepted);
  if (!ready) return -1;
  self->book.ready = *ready;
  return 0;
}

PyObject* get_best(PyObject* self_object, void* closure) {
  LocalBookObject* self = self_of(self_object);
  auto guard = shared(self);
  if (!guard) return nullptr;
  const std::optional<Decimal> best =
      closure == nullptr ? self->book.best_bid() : self->book.best_ask();
  guard->release();
  return optional_decimal(best).release();
}

PyObject* repr(PyObject* self_object) {
  LocalBookObject* self = self_of(self_object);
  auto guard = shared(self);
  if (!guard) return nullptr;
  const std::string text =
      concat("LocalBook(ready=", self->book.ready ? "True" : "False",
             ", bids=", self->book.bids.size(), ", asks=", self->book.asks.size(), ")");
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const Parameters<0> kNoParameters{"LocalBook.__new__()", {}, 0};
  Arguments<0> no_arguments;
  if (!no_arguments.bind_new(kNoParameters, args, kwargs)) return nullptr;
  PyObject* object = allocate_instance(type);
  if (object == nullptr) return nullptr;
  LocalBookObject* self = self_of(object);
  self->sequence = nullptr;
  self->timestamp = nullptr;
  new (&self->book) Book();
  new (&self->borrow) BorrowState();
  return object;
}

int traverse(PyObject* self_object, visitproc visit, void* arg) {
  LocalBookObject* self = self_of(self_object);
  Py_VISIT(self->sequence);
  Py_VISIT(self->timestamp);
  Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self_object)));
  return 0;
}

int clear(PyObject* self_object) {
  LocalBookObject* self = self_of(self_object);
  Py_CLEAR(self->sequence);
  Py_CLEAR(self->timestamp);
  return 0;
}

void dealloc(PyObject* self_object) {
  PyObject_GC_UnTrack(self_object);
  clear(self_object);
  LocalBookObject* self = self_of(self_object);
  self->book.~Book();
  self->borrow.~BorrowState();
  free_instance(self_object);
}

PyMethodDef methods[] = {
    {"add", fastcall(add), kMethodFlags, "add($self, side, price, delta)\n--\n\n"},
    {"set", fastcall(set), kMethodFlags, "set($self, side, price, size)\n--\n\n"},
    {"replace", fastcall(replace), kMethodFlags, "replace($self, bids, asks)\n--\n\n"},
    {"levels", fastcall(levels), kMethodFlags,
     "levels($self, depth=None)\n--\n\nBids best first (descending), asks best first (ascending)."},
    {"mirrored", fastcall(mirrored), kMethodFlags,
     "mirrored($self, face_value=...)\n--\n\nThe other side's view: bids become asks at `1 - p`."},
    {"invalidate", fastcall(invalidate), kMethodFlags, "invalidate($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

void* const kBidClosure = nullptr;
void* const kAskClosure = reinterpret_cast<void*>(1);

PyGetSetDef properties[] = {
    {"bids", get_side, set_side, "The bid levels, as a live price -> size mapping.", kBidClosure},
    {"asks", get_side, set_side, "The ask levels, as a live price -> size mapping.", kAskClosure},
    {"sequence", get_sequence, set_sequence, nullptr, nullptr},
    {"timestamp", get_timestamp, set_timestamp, nullptr, nullptr},
    {"ready", get_ready, set_ready, nullptr, nullptr},
    {"best_bid", get_best, nullptr, nullptr, kBidClosure},
    {"best_ask", get_best, nullptr, nullptr, kAskClosure},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const char kDoc[] =
    "LocalBook()\n--\n\nOne side of a market's book: price -> size on each side, plus "
    "readiness.\n\n"
    "`ready` is false until a snapshot has been applied and becomes false again\n"
    "when the stream loses confidence in it (a gap, a reconnect); a book that\n"
    "is not ready ignores deltas rather than applying them to a stale base.";

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kDoc)},
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {0, nullptr},
};

PyType_Spec spec = {
    "orvane._core.LocalBook",
    sizeof(LocalBookObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

ClassType& local_book_class() {
  static ClassType type("LocalBook", &spec);
  return type;
}

LocalBookObject* as_local_book(PyObject* object) {
  return local_book_class().is_instance(object) ? self_of(object) : nullptr;
}

Ref new_local_book() {
  PyObject* type = local_book_class().get();
  if (type == nullptr) return {};
  return Ref::steal(construct(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr));
}

Ref replace_field(PyObject*& field, PyObject* value) {
  if (value == Py_None) value = nullptr;
  Py_XINCREF(value);
  return Ref::steal(std::exchange(field, value));
}

Ref field_value(PyObject* field) { return Ref::borrow(field != nullptr ? field : Py_None); }

}  // namespace orvane::py
