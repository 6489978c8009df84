// Opinion depth changes: `opinion_depth` decodes a frame into an `OpinionDepthChange`, whose
// `apply` sets the level on the book the caller picked by `token`.
#include "venues/opinion.h"

#include <new>
#include <string_view>
#include <utility>

#include "book/local_book.h"
#include "registrations.h"
#include "runtime/arguments.h"
#include "runtime/class_type.h"
#include "runtime/cpp_object.h"
#include "runtime/errors.h"
#include "runtime/objects.h"

namespace orvane::py {

namespace {

using OpinionDepthChangeObject = CppObject<opinion::DepthChange>;

const opinion::DepthChange& change_of(PyObject* self) {
  return OpinionDepthChangeObject::value_of(self);
}

Ref new_change(opinion::DepthChange change);

const Parameters<1> kDecodeParameters{"opinion_depth()", {"raw"}, 1};
PyObject* opinion_depth(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<1> a;
  if (!a.bind(kDecodeParameters, args, nargs, kwnames)) return nullptr;
  if (!PyUnicode_Check(a[0])) {
    raise_not_instance(a[0], "str");
    add_processing_note("raw");
    return nullptr;
  }
  Py_ssize_t size = 0;
  const char* raw = PyUnicode_AsUTF8AndSize(a[0], &size);
  if (raw == nullptr) {
    // Lone surrogates have no UTF-8 form: left to the Python handler.
    PyErr_Clear();
    Py_RETURN_NONE;
  }
  auto change = opinion::decode(std::string_view(raw, size_t(size)));
  if (!change) Py_RETURN_NONE;
  return new_change(std::move(*change)).release();
}

const Parameters<1> kApplyParameters{"OpinionDepthChange.apply()", {"book"}, 1};
PyObject* apply(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<1> a;
  if (!a.bind(kApplyParameters, args, nargs, kwnames)) return nullptr;
  LocalBookObject* book = as_local_book(a[0]);
  if (book == nullptr) {
    raise_not_instance(a[0], "LocalBook");
    add_processing_note("book");
    return nullptr;
  }
  const opinion::DepthChange& change = change_of(self);
  auto guard = ExclusiveGuard::acquire(book->borrow);
  if (!guard) return raise_invariant_failure(kAlreadyBorrowed);
  const Level level = opinion::apply(book->book, change);
  const std::optional<Decimal> best_bid = book->book.best_bid();
  const std::optional<Decimal> best_ask = book->book.best_ask();
  guard->release();

  Ref changed = level_tuple(std::span<const Level>(&level, 1));
  if (!changed) return nullptr;
  Ref empty = level_tuple({});
  if (!empty) return nullptr;
  Ref bid = optional_decimal(best_bid);
  if (!bid) return nullptr;
  Ref ask = optional_decimal(best_ask);
  if (!ask) return nullptr;
  const bool bids_changed = change.side == Side::Bid;
  return PyTuple_Pack(4, bids_changed ? changed.get() : empty.get(),
                      bids_changed ? empty.get() : changed.get(), bid.get(), ask.get());
}

PyObject* get_token(PyObject* self, void*) { return key_str(change_of(self).token).release(); }

PyMethodDef methods[] = {
    {"apply", fastcall(apply), kMethodFlags,
     "apply($self, book)\n--\n\n"
     "Apply the change to `book` as the Python stream's `OpinionMarketStream._apply`\n"
     "does. Returns the delta event's `(bids, asks, best_bid, best_ask)`: the one\n"
     "changed level on its side, with its new size."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    {"token", get_token, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("One decoded Opinion depth change, not yet applied.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(OpinionDepthChangeObject::dealloc)},
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {0, nullptr},
};

PyType_Spec spec = {
    "orvane._core.OpinionDepthChange",
    sizeof(OpinionDepthChangeObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

Ref new_change(opinion::DepthChange change) {
  return OpinionDepthChangeObject::create(opinion_depth_change_class().get(), std::move(change));
}

}  // namespace

ClassType& opinion_depth_change_class() {
  static ClassType type("OpinionDepthChange", &spec);
  return type;
}

PyMethodDef opinion_depth_function = {
    "opinion_depth", fastcall(opinion_depth), kMethodFlags,
    "opinion_depth(raw)\n--\n\n"
    "Decode an Opinion `market.depth.diff` frame. Returns `None` for anything\n"
    "else, or for a change the Python handler would raise on."};

}  // namespace orvane::py
