// LocalBook: one market's book as a Python object, and the access other bindings use on it.
#pragma once

#include "book/book.h"
#include "runtime/borrow.h"
#include "runtime/class_type.h"
#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

struct LocalBookObject {
  PyObject_HEAD
  PyObject* sequence;   // owned, or null (reads as None)
  PyObject* timestamp;  // owned, or null (reads as None)
  Book book;
  BorrowState borrow;
};

ClassType& local_book_class();

// The LocalBook behind `object`, or null (no error set) when it is not one.
LocalBookObject* as_local_book(PyObject* object);

// A new, empty, not-ready LocalBook.
Ref new_local_book();

// Stores `value` (borrowed; null or None clears) in a sequence or timestamp field and hands back
// the previous object: drop it once no access to the book is held, since its finaliser may run
// code.
[[nodiscard]] Ref replace_field(PyObject*& field, PyObject* value);

// A new reference to the field's object, or to None when it is clear.
Ref field_value(PyObject* field);

}  // namespace orvane::py
