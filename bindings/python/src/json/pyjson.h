// JSON values handed to Python unchanged: the plain Python object of a parsed JSON value.
#pragma once

#include "json/value.h"
#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

// A new Python object equal to `value`: None, bool, int (the whole unsigned and negative 64-bit
// ranges), float, str, list, or a dict filled in ascending name order. Null with the error set when
// the interpreter cannot allocate; nothing built so far survives.
Ref to_py(const JsonValue& value);

}  // namespace orvane::py
