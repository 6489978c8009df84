// Python level inputs read into core level lists and maps.
#pragma once

#include <optional>

#include "book/book.h"
#include "runtime/python.h"

namespace orvane::py {

// A `dict` or an instance of collections.abc.Mapping: 1, 0, or -1 with an error set.
int is_mapping(PyObject* object);

// A bool argument: True, False, or numpy's bool scalar (recognised without importing numpy: its
// type is named bool_, or bool from numpy 2, in the module numpy), whose truth value is taken.
// Anything else raises TypeError "'{}' object is not an instance of 'bool'".
std::optional<bool> read_bool(PyObject* value);

// Reads an iterable of (price, size) 2-tuples, in order, nothing filtered. Errors: the
// interpreter's TypeError for a non-iterable, TypeError "'{}' object is not an instance of 'tuple'"
// for an element that is not a tuple, ValueError "expected tuple of length 2, but got tuple of
// length {}", and the conversion errors of the prices and sizes unchanged.
std::optional<LevelList> pairs(PyObject* object);

// Reads a price -> size mapping (through its items) or an iterable of pairs into an ordered map;
// sizes are stored as they are, a repeated numeric price keeps its first key and its last size.
std::optional<PriceMap> mapping_levels(PyObject* object);

}  // namespace orvane::py
