#include "runtime/errors.h"

#include <string>

#include "runtime/names.h"
#include "runtime/ref.h"
#include "text/concat.h"

namespace orvane::py {

PyObject* invariant_failure_type() {
  static PyObject* type = nullptr;  // lives as long as the process
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "orvane._core.InvariantFailure",
        "An internal invariant of the native core failed (for example, exact arithmetic overflowed "
        "or a book was re-entered during an operation on it).",
        PyExc_BaseException, nullptr);
  }
  return type;
}

std::nullptr_t raise(PyObject* type, std::string_view message) {
  Ref text = Ref::steal(PyUnicode_FromStringAndSize(message.data(), Py_ssize_t(message.size())));
  if (text) PyErr_SetObject(type, text.get());
  return nullptr;
}

std::nullptr_t value_error(std::string_view message) { return raise(PyExc_ValueError, message); }

std::nullptr_t raise_error(const Error& error) {
  switch (error.code) {
    case ErrorCode::kInvalidDecimal:
    case ErrorCode::kInvalidKey:
    case ErrorCode::kInvalidField:
    case ErrorCode::kSigningFailed:
    case ErrorCode::kMalformedJson:
    case ErrorCode::kMalformedFrame:
    case ErrorCode::kOtherFrame:
      return value_error(error.text);
    case ErrorCode::kOverflow:
    case ErrorCode::kPriceCollision:
      break;
  }
  return raise_invariant_failure(error.text);
}

std::nullptr_t raise_invariant_failure(std::string_view message) {
  PyObject* type = invariant_failure_type();
  if (type == nullptr) return nullptr;
  return raise(type, message);
}

void add_note(std::string_view note) {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) {
    if (traceback != nullptr) PyException_SetTraceback(value, traceback);
    Ref text = Ref::steal(PyUnicode_FromStringAndSize(note.data(), Py_ssize_t(note.size())));
    Ref result;
    if (text) {
      result = Ref::steal(PyObject_CallMethodObjArgs(value, names().add_note, text.get(), nullptr));
    }
    if (!result) PyErr_Clear();  // the original exception matters more than its note
  }
  PyErr_Restore(type, value, traceback);
}

void add_processing_note(std::string_view parameter) {
  add_note(concat("while processing '", parameter, "'"));
}

std::string type_name(PyObject* object) {
  Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    return "?";
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (text == nullptr) {
    PyErr_Clear();
    return "?";
  }
  return std::string(text, size_t(size));
}

std::nullptr_t raise_not_instance(PyObject* received, std::string_view expected) {
  if (received == Py_None) {
    return raise(PyExc_TypeError, concat("'None' is not an instance of '", expected, "'"));
  }
  return raise(PyExc_TypeError,
               concat("'", type_name(received), "' object is not an instance of '", expected, "'"));
}

bool check_argument(PyObject* value, bool ok, std::string_view expected,
                    std::string_view parameter) {
  if (ok) return true;
  raise_not_instance(value, expected);
  add_processing_note(parameter);
  return false;
}

}  // namespace orvane::py
