#include "book/book_side.h"

#include <optional>
#include <utility>

#include "book/local_book.h"
#include "runtime/adapters.h"
#include "runtime/arguments.h"
#include "runtime/borrow.h"
#include "runtime/errors.h"
#include "runtime/objects.h"
#include "runtime/unfinished.h"
#include "text/concat.h"

namespace orvane::py {

namespace {

struct BookSideObject {
  PyObject_HEAD
  PyObject* book;  // the LocalBook viewed (owned); null only after the collector cleared a cycle
  Side side;
};

BookSideObject* self_of(PyObject* self) { return reinterpret_cast<BookSideObject*>(self); }

LocalBookObject* book_of(PyObject* self) {
  PyObject* book = self_of(self)->book;
  if (book == nullptr) {
    raise_invariant_failure("BookSide has no book");
    return nullptr;
  }
  return reinterpret_cast<LocalBookObject*>(book);
}

// A view reaches into a book its caller may be holding: a conflict here means Python code
// re-entered the book during a LocalBook operation, which is an invariant failure rather than a
// RuntimeError.
template <typename Read>
auto read_side(PyObject* self, Read read)
    -> std::optional<decltype(read(std::declval<PriceMap&>()))> {
  LocalBookObject* book = book_of(self);
  if (book == nullptr) return std::nullopt;
  auto guard = SharedGuard::acquire(book->borrow);
  if (!guard) {
    raise_invariant_failure(kAlreadyMutablyBorrowed);
    return std::nullopt;
  }
  return read(book->book.side(self_of(self)->side));
}

template <typename Write>
auto write_side(PyObject* self, Write write)
    -> std::optional<decltype(write(std::declval<PriceMap&>()))> {
  LocalBookObject* book = book_of(self);
  if (book == nullptr) return std::nullopt;
  auto guard = ExclusiveGuard::acquire(book->borrow);
  if (!guard) {
    raise_invariant_failure(kAlreadyBorrowed);
    return std::nullopt;
  }
  return write(book->book.side(self_of(self)->side));
}

// A price that does not convert is a missing key. Only ordinary exceptions are taken as "does not
// convert": KeyboardInterrupt and invariant failures still propagate.
bool conversion_failed_quietly() {
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
  PyErr_Clear();
  return true;
}

// The key itself is the exception's argument, even when it is a tuple or None.
std::nullptr_t raise_key_error(PyObject* key) {
  Ref arguments = Ref::steal(PyTuple_Pack(1, key));
  if (arguments) PyErr_SetObject(PyExc_KeyError, arguments.get());
  return nullptr;
}

// The size at `key`: a value, "no such level" (nullopt inside), or an error (nullopt outside).
std::optional<std::optional<Decimal>> lookup(PyObject* self, PyObject* key) {
  auto price = extract_decimal(key);
  if (!price) {
    if (conversion_failed_quietly()) return std::optional<Decimal>{};
    return std::nullopt;
  }
  return read_side(self, [&](const PriceMap& map) -> std::optional<Decimal> {
    auto it = map.find(*price);
    if (it == map.end()) return std::nullopt;
    return it->second;
  });
}

LevelList copy_levels(const PriceMap& map) { return LevelList(map.begin(), map.end()); }

Py_ssize_t length(PyObject* self) {
  auto size = read_side(self, [](const PriceMap& map) { return map.size(); });
  return size ? Py_ssize_t(*size) : -1;
}

PyObject* get_item(PyObject* self, PyObject* key) {
  auto found = lookup(self, key);
  if (!found) return nullptr;
  if (!*found) return raise_key_error(key);
  return new_decimal(**found).release();
}

int set_item(PyObject* self, PyObject* key, PyObject* value) {
  if (value == nullptr) {
    auto price = extract_decimal(key);
    if (!price) {
      if (conversion_failed_quietly()) raise_key_error(key);
      return -1;
    }
    auto removed = write_side(self, [&](PriceMap& map) { return map.erase(*price); });
    if (!removed) return -1;
    if (*removed == 0) {
      raise_key_error(key);
      return -1;
    }
    return 0;
  }
  auto price = extract_decimal(key);
  if (!price) {
    add_processing_note("price");
    return -1;
  }
  auto size = extract_decimal(value);
  if (!size) {
    add_processing_note("size");
    return -1;
  }
  // Stored as given: a mapping write keeps zero and negative sizes, unlike LocalBook.set.
  auto stored = write_side(self, [&](PriceMap& map) {
    auto [it, inserted] = map.try_emplace(*price, *size);
    if (!inserted) it->second = *size;
    return true;
  });
  return stored ? 0 : -1;
}

int contains(PyObject* self, PyObject* key) {
  auto found = lookup(self, key);
  if (!found) return -1;
  return found->has_value() ? 1 : 0;
}

Ref decimal_list(const LevelList& levels, bool prices) {
  Unfinished list(PyList_New(Py_ssize_t(levels.size())));
  if (!list) return {};
  for (size_t i = 0; i < levels.size(); ++i) {
    Ref item = new_decimal(prices ? levels[i].first : levels[i].second);
    if (!item) return {};
    PyList_SetItem(list.get(), Py_ssize_t(i), item.release());
  }
  return list.finish();
}

Ref snapshot_list(PyObject* self, bool prices) {
  auto levels = read_side(self, copy_levels);
  if (!levels) return {};
  return decimal_list(*levels, prices);
}

Ref item_list(const LevelList& levels) {
  Unfinished list(PyList_New(Py_ssize_t(levels.size())));
  if (!list) return {};
  for (size_t i = 0; i < levels.size(); ++i) {
    Ref price = new_decimal(levels[i].first);
    if (!price) return {};
    Ref size = new_decimal(levels[i].second);
    if (!size) return {};
    Ref pair = Ref::steal(PyTuple_Pack(2, price.get(), size.get()));
    if (!pair) return {};
    PyList_SetItem(list.get(), Py_ssize_t(i), pair.release());
  }
  return list.finish();
}

Ref copy_dict(PyObject* self) {
  auto levels = read_side(self, copy_levels);
  if (!levels) return {};
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return {};
  for (const auto& [price, size] : *levels) {
    Ref key = new_decimal(price);
    if (!key) return {};
    Ref value = new_decimal(size);
    if (!value) return {};
    if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return {};
  }
  return dict;
}

// Iteration walks the prices as they were when the iterator was made.
PyObject* iterate(PyObject* self) {
  Ref keys = snapshot_list(self, true);
  if (!keys) return nullptr;
  return PyObject_GetIter(keys.get());
}

PyObject* keys(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("BookSide.keys()", nargs, kwnames)) return nullptr;
  return snapshot_list(self, true).release();
}

PyObject* values(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("BookSide.values()", nargs, kwnames)) return nullptr;
  return snapshot_list(self, false).release();
}

PyObject* items(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("BookSide.items()", nargs, kwnames)) return nullptr;
  auto levels = read_side(self, copy_levels);
  if (!levels) return nullptr;
  return item_list(*levels).release();
}

PyObject* copy(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  if (!bind_none("BookSide.copy()", nargs, kwnames)) return nullptr;
  return copy_dict(self).release();
}

const Parameters<2> kGetParameters{"BookSide.get()", {"price", "default"}, 1};
PyObject* get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<2> a;
  if (!a.bind(kGetParameters, args, nargs, kwnames)) return nullptr;
  auto found = lookup(self, a[0]);
  if (!found) return nullptr;
  if (!*found) return Ref::borrow(a[1] != nullptr ? a[1] : Py_None).release();
  return new_decimal(**found).release();
}

const Parameters<2> kPopParameters{"BookSide.pop()", {"price", "default"}, 1, true};
PyObject* pop(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<2> a;
  if (!a.bind(kPopParameters, args, nargs, kwnames)) return nullptr;
  PyObject* key = a[0];
  auto price = extract_decimal(key);
  if (price) {
    auto removed = write_side(self, [&](PriceMap& map) -> std::optional<Decimal> {
      auto it = map.find(*price);
      if (it == map.end()) return std::nullopt;
      Decimal size = it->second;
      map.erase(it);
      return size;
    });
    if (!removed) return nullptr;
    if (*removed) return new_decimal(**removed).release();
  } else if (!conversion_failed_quietly()) {
    return nullptr;
  }
  const Py_ssize_t extra = PyTuple_Size(a[1]);
  if (extra == 0) return raise_key_error(key);
  if (extra == 1) return Ref::borrow(PyTuple_GetItem(a[1], 0)).release();
  return raise(PyExc_TypeError, concat("pop expected at most 2 arguments, got ", extra + 1));
}

Py_hash_t unhashable(PyObject*) {
  raise(PyExc_TypeError, "unhashable type: 'BookSide'");
  return -1;
}

PyObject* repr(PyObject* self) {
  Ref dict = copy_dict(self);
  if (!dict) return nullptr;
  return PyObject_Repr(dict.get());
}

// Equality with another view: same count, and level by level in ascending order the same numeric
// prices and sizes.
std::optional<bool> equals_side(PyObject* self, PyObject* other) {
  auto mine = read_side(self, copy_levels);
  if (!mine) return std::nullopt;
  auto theirs = read_side(other, copy_levels);
  if (!theirs) return std::nullopt;
  return *mine == *theirs;  // pairs of Decimals compare by value
}

// Equality with a mapping: same length, and every item a 2-tuple of convertible values matching a
// level here. Items that are not such pairs make it unequal; errors of the mapping itself
// propagate.
std::optional<bool> equals_mapping(PyObject* self, PyObject* other) {
  const Py_ssize_t size = PyMapping_Size(other);
  if (size < 0) return std::nullopt;
  // Compare against the levels as they are now: converting the items may run Python code.
  auto levels = read_side(self, [](const PriceMap& map) { return map; });
  if (!levels) return std::nullopt;
  if (size_t(size) != levels->size()) return false;
  Ref item_seq = Ref::steal(PyMapping_Items(other));
  if (!item_seq) return std::nullopt;
  Ref iterator = Ref::steal(PyObject_GetIter(item_seq.get()));
  if (!iterator) return std::nullopt;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!PyTuple_Check(item.get()) || PyTuple_Size(item.get()) != 2) return false;
    auto price = extract_decimal(PyTuple_GetItem(item.get(), 0));
    if (!price) {
      if (conversion_failed_quietly()) return false;
      return std::nullopt;
    }
    auto value = extract_decimal(PyTuple_GetItem(item.get(), 1));
    if (!value) {
      if (conversion_failed_quietly()) return false;
      return std::nullopt;
    }
    auto it = levels->find(*price);
    if (it == levels->end() || it->second != *value) return false;
  }
  if (PyErr_Occurred()) return std::nullopt;
  return true;
}

PyObject* richcompare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  std::optional<bool> equal;
  if (book_side_class().is_instance(other)) {
    equal = equals_side(self, other);
  } else {
    const int mapping = is_mapping(other);
    if (mapping < 0) return nullptr;
    if (mapping == 0) Py_RETURN_NOTIMPLEMENTED;
    equal = equals_mapping(self, other);
  }
  if (!equal) return nullptr;
  return PyBool_FromLong((op == Py_EQ) == *equal);
}

int traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(self_of(self)->book);
  Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self)));
  return 0;
}

int clear(PyObject* self) {
  Py_CLEAR(self_of(self)->book);
  return 0;
}

void dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  clear(self);
  free_instance(self);
}

PyMethodDef methods[] = {
    {"keys", fastcall(keys), kMethodFlags, "keys($self)\n--\n\n"},
    {"values", fastcall(values), kMethodFlags, "values($self)\n--\n\n"},
    {"items", fastcall(items), kMethodFlags, "items($self)\n--\n\n"},
    {"get", fastcall(get), kMethodFlags, "get($self, price, default=None)\n--\n\n"},
    {"pop", fastcall(pop), kMethodFlags, "pop($self, price, *default)\n--\n\n"},
    {"copy", fastcall(copy), kMethodFlags,
     "copy($self)\n--\n\nA plain `dict` copy of these levels."},
    {nullptr, nullptr, 0, nullptr},
};

const char kDoc[] =
    "One side of a `LocalBook`, behaving as the `dict` the pure-Python book\n"
    "keeps there: `book.bids[price]`, `price in book.bids`, `.get`, `.items()`,\n"
    "`len(...)`, equality with a plain dict. It is a live view: it reads and\n"
    "writes the book it came from. Keys iterate in ascending price order.";

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_hash, reinterpret_cast<void*>(unhashable)},
    {Py_tp_iter, reinterpret_cast<void*>(iterate)},
    {Py_tp_richcompare, reinterpret_cast<void*>(richcompare)},
    {Py_mp_length, reinterpret_cast<void*>(length)},
    {Py_mp_subscript, reinterpret_cast<void*>(get_item)},
    {Py_mp_ass_subscript, reinterpret_cast<void*>(set_item)},
    {Py_sq_contains, reinterpret_cast<void*>(contains)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "orvane._core.BookSide",
    sizeof(BookSideObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
        Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

ClassType& book_side_class() {
  static ClassType type("BookSide", &spec);
  return type;
}

Ref new_book_side(PyObject* book, Side side) {
  PyObject* type = book_side_class().get();
  if (type == nullptr) return {};
  PyObject* object = allocate_instance(type);
  if (object == nullptr) return {};
  Py_INCREF(book);
  self_of(object)->book = book;
  self_of(object)->side = side;
  return Ref::steal(object);
}

}  // namespace orvane::py
