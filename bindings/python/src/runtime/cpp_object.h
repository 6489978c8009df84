// CppObject<T>: the instance layout of a class whose state is one C++ value.
#pragma once

#include <new>
#include <utility>

#include "runtime/class_type.h"
#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

// The value lives right after the object header. The type's allocator hands out zeroed memory, not
// a T: `create` constructs the value in place and `dealloc` (the type's Py_tp_dealloc) destroys it
// before the memory goes back, so a T never outlives or predates its object.
template <typename T>
struct CppObject {
  PyObject_HEAD
  T value;

  static CppObject* of(PyObject* self) { return reinterpret_cast<CppObject*>(self); }
  static T& value_of(PyObject* self) { return of(self)->value; }

  // A new instance of `type` holding T(args...); null with the error set. Check the arguments
  // before calling: nothing of a failed construction is left behind.
  template <typename... Args>
  static Ref create(PyObject* type, Args&&... args) {
    if (type == nullptr) return {};
    PyObject* object = allocate_instance(type);
    if (object == nullptr) return {};
    new (&of(object)->value) T(std::forward<Args>(args)...);
    return Ref::steal(object);
  }

  static void dealloc(PyObject* self) {
    of(self)->value.~T();
    free_instance(self);
  }
};

}  // namespace orvane::py
