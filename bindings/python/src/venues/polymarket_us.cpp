// polymarket_us_market_data: the fast path of the Polymarket US market-data handler. Each frame is
// a market's whole book, so applying it is a replace of the slug's book.
#include "venues/polymarket_us.h"

#include <optional>
#include <string_view>

#include "book/local_book.h"
#include "json/pyjson.h"
#include "registrations.h"
#include "runtime/arguments.h"
#include "runtime/borrow.h"
#include "runtime/errors.h"
#include "runtime/objects.h"
#include "runtime/python.h"
#include "runtime/ref.h"
#include "runtime/tuple.h"

namespace orvane::py {

namespace {

namespace us = orvane::polymarket_us;

const Parameters<2> kParameters{"polymarket_us_market_data()", {"raw", "books"}, 2};

PyObject* polymarket_us_market_data(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  Arguments<2> a;
  if (!a.bind(kParameters, args, nargs, kwnames)) return nullptr;
  if (!check_argument(a[0], PyUnicode_Check(a[0]), "str", "raw") ||
      !check_argument(a[1], PyDict_Check(a[1]), "dict", "books")) {
    return nullptr;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(a[0], &size);
  if (utf8 == nullptr) {
    PyErr_Clear();  // lone surrogates: not a frame this path reads
    Py_RETURN_NONE;
  }
  auto data = us::decode(std::string_view(utf8, size_t(size)));
  if (!data) Py_RETURN_NONE;

  Ref slug = key_str(data->slug);
  if (!slug) return nullptr;
  PyObject* books = a[1];
  Ref held = Ref::borrow(PyDict_GetItemWithError(books, slug.get()));
  if (!held) {
    if (PyErr_Occurred()) return nullptr;
    held = new_local_book();
    if (!held || PyDict_SetItem(books, slug.get(), held.get()) < 0) return nullptr;
  }
  LocalBookObject* local = as_local_book(held.get());
  if (local == nullptr) Py_RETURN_NONE;

  Book::Levels levels;
  std::optional<Decimal> best_bid, best_ask;
  {
    auto guard = ExclusiveGuard::acquire(local->borrow);
    if (!guard) return raise_invariant_failure(kAlreadyBorrowed);
    local->book.replace(data->bids, data->asks);
    levels = local->book.levels();
    best_bid = local->book.best_bid();
    best_ask = local->book.best_ask();
  }
  TupleBuilder result(8);
  const bool whole =
      result.add(std::move(slug)) && result.add(level_tuple(levels.bids)) &&
      result.add(level_tuple(levels.asks)) && result.add(optional_decimal(best_bid)) &&
      result.add(optional_decimal(best_ask)) && result.add(to_py(data->transact_time)) &&
      result.add(to_py(data->state)) && result.add(to_py(data->stats));
  if (!whole) return nullptr;
  return result.take().release();
}

}  // namespace

PyMethodDef polymarket_us_market_data_function = {
    "polymarket_us_market_data", fastcall(polymarket_us_market_data), kMethodFlags,
    "polymarket_us_market_data(raw, books)\n--\n\n"
    "Apply one Polymarket US full market-data frame: the slug's book is replaced with the\n"
    "frame's levels, and created if new. Returns\n"
    "`(slug, bids, asks, best_bid, best_ask, transact_time, state, stats)`, or None, with\n"
    "nothing changed, for any other message, for a message the Python handler would raise\n"
    "on, or for a book that is not this module's `LocalBook`."};

}  // namespace orvane::py
