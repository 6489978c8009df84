#include "runtime/class_type.h"

#include "runtime/errors.h"
#include "text/concat.h"

namespace orvane::py {

PyObject* ClassType::create() {
  if (type_ == nullptr) type_ = PyType_FromSpec(spec_);
  return type_;
}

PyObject* ClassType::get() {
  if (type_ != nullptr) return type_;
  if (create() == nullptr) {
    PyErr_Clear();
    raise_invariant_failure(concat("An error occurred while initializing class ", name_));
  }
  return type_;
}

bool ClassType::is_instance(PyObject* object) {
  if (type_ == nullptr) return false;
  return PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(type_)) != 0;
}

PyObject* allocate_instance(PyTypeObject* type) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  return alloc(type, 0);
}

void free_instance(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free(self);
  Py_DECREF(type);
}

}  // namespace orvane::py
