#include "json/pyjson.h"

#include <string_view>

#include "runtime/unfinished.h"

namespace orvane::py {

namespace {}  // namespace

// Recursion is bounded by the parser's nesting limit.
Ref to_py(const JsonValue& value) {
  switch (value.kind()) {
    case JsonKind::Null:
      return Ref::borrow(Py_None);
    case JsonKind::Bool:
      return Ref::borrow(value.as_bool() ? Py_True : Py_False);
    case JsonKind::Unsigned:
      return Ref::steal(PyLong_FromUnsignedLongLong(value.as_unsigned()));
    case JsonKind::Negative:
      return Ref::steal(PyLong_FromLongLong(value.as_negative()));
    case JsonKind::Float:
      return Ref::steal(PyFloat_FromDouble(value.as_float()));
    case JsonKind::String:
      return new_str(value.as_string());
    case JsonKind::Array: {
      const JsonArray& elements = value.as_array();
      Unfinished list(PyList_New(Py_ssize_t(elements.size())));
      if (!list) return {};
      for (size_t i = 0; i < elements.size(); ++i) {
        Ref element = to_py(elements[i]);
        if (!element) return {};
        PyList_SetItem(list.get(), Py_ssize_t(i), element.release());
      }
      return list.finish();
    }
    case JsonKind::Object: {
      Ref dict = Ref::steal(PyDict_New());
      if (!dict) return {};
      for (const JsonMember& member : value.as_object()) {
        Ref name = new_str(member.name);
        if (!name) return {};
        Ref item = to_py(member.value);
        if (!item || PyDict_SetItem(dict.get(), name.get(), item.get()) < 0) return {};
      }
      return dict;
    }
  }
  return Ref::borrow(Py_None);  // unreachable: every kind is handled above
}

}  // namespace orvane::py
