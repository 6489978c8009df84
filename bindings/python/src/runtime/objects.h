// The bridge between core Decimals and Python: `decimal.Decimal` objects through per-thread
// identity caches, and `BookLevel` records.
//
// Each thread has two caches, kept in its thread-state dictionary so that they are released with
// the interpreter lock held when the thread ends: DECIMALS (exact 16-byte representation -> the
// Python object made from it) and VALUES (identity of such an object -> its Decimal). They are
// filled and emptied together; when DECIMALS holds 16384 entries, both are emptied before the next
// insertion. Beside them the thread keeps the last few instrument-key strs (`key_str`).
//
// Functions returning Ref give null with the Python error set; those returning std::optional give
// nullopt with the error set.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "book/book.h"
#include "decimal/decimal.h"
#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

inline constexpr size_t kDecimalCacheCapacity = size_t{1} << 14;

// The `decimal.Decimal` class (borrowed, kept for the life of the process).
PyObject* decimal_class();

// The cached `decimal.Decimal` of `value`: the same object for the same representation on a thread.
Ref decimal(const Decimal& value);
// `decimal` of the value, or None.
Ref optional_decimal(const std::optional<Decimal>& value);
// A new `decimal.Decimal`, never cached (mapping reads hand out objects of their own).
Ref new_decimal(const Decimal& value);

// The Decimal of an object this thread's caches made, without parsing; else `extract_decimal`.
std::optional<Decimal> from_py(PyObject* object);
// `from_py` for callers that must be exact or nothing: a text the Decimal can only hold rounded is
// refused with ValueError (the objects the caches made are exact by construction).
std::optional<Decimal> from_py_exact(PyObject* object);
// The general conversion: an index-protocol integer that fits 64 bits, else the object's `str` text
// parsed with the decimal grammar (ValueError with the parser's reason when it does not parse).
std::optional<Decimal> extract_decimal(PyObject* object);

// A tuple of (price, size) tuples, each value through `decimal`, in the given order.
Ref pair_tuple(std::span<const Level> levels);

// One `BookLevel(price, size)` record from two `decimal.Decimal` objects.
Ref book_level(PyObject* price, PyObject* size);
// A tuple of `BookLevel` records, prices and sizes through `decimal`, in the given order.
Ref level_tuple(std::span<const Level> levels);

// A str of an instrument key's UTF-8 text: the same object as this thread's last one of that text
// when it is still held, else a new one (which replaces one of the few held).
Ref key_str(std::string_view utf8);

// Number of entries in this thread's DECIMALS cache (0 before first use); for tests and benchmarks.
size_t decimal_cache_size();

}  // namespace orvane::py
