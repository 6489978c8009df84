// BookSide: a live mapping view of one side of a LocalBook.
#pragma once

#include "book/book.h"
#include "runtime/class_type.h"
#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

ClassType& book_side_class();

// A new view of `side` of the LocalBook `book`.
Ref new_book_side(PyObject* book, Side side);

}  // namespace orvane::py
