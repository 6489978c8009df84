// Raising errors the module's way: the internal-failure exception, notes on conversion failures and
// the instance-check message.
#pragma once

#include <string_view>

#include "runtime/python.h"
#include "text/error.h"

namespace orvane::py {

// The exception type of internal invariant failures (an overflow in exact arithmetic, a borrow
// conflict inside an operation). It derives from BaseException so that `except Exception` does not
// swallow a broken invariant. Created once per process; not a module attribute. Null on failure.
PyObject* invariant_failure_type();

// Sets the error `type` with `message` and returns null, so that callers can `return raise(...)`.
std::nullptr_t raise(PyObject* type, std::string_view message);
std::nullptr_t raise_invariant_failure(std::string_view message);
// ValueError with `message`.
std::nullptr_t value_error(std::string_view message);
// A core error as the exception its code maps to (ValueError for a refused value, the invariant
// failure for a broken invariant), with its text; returns null.
std::nullptr_t raise_error(const Error& error);

// Attaches `note` to the exception being raised (BaseException.add_note). The exception itself is
// kept unchanged even if attaching fails.
void add_note(std::string_view note);
// The note of a failed argument conversion: "while processing '{parameter}'".
void add_processing_note(std::string_view parameter);

// TypeError "'{type}' object is not an instance of '{expected}'", or "'None' is not an instance of
// '{expected}'" for None.
std::nullptr_t raise_not_instance(PyObject* received, std::string_view expected);

// The check of a class-typed argument: true when `ok`; otherwise the not-an-instance TypeError with
// the note naming `parameter`, and false.
bool check_argument(PyObject* value, bool ok, std::string_view expected,
                    std::string_view parameter);

// The qualified name of the object's type ("int", "LocalBook"), or "?" if it cannot be read.
std::string type_name(PyObject* object);

}  // namespace orvane::py
