// ClassType: a class's type object, created from its spec once per process and then reused.
#pragma once

#include "runtime/python.h"

namespace orvane::py {

class ClassType {
 public:
  ClassType(const char* name, PyType_Spec* spec) : name_(name), spec_(spec) {}

  // The type object (borrowed), created on first call; null with the creation error set.
  PyObject* create();
  // As `create`, but a failure is the invariant failure "An error occurred while initializing class
  // {name}": outside registration, a class that cannot be created is a broken invariant.
  PyObject* get();
  // Whether `object` is an instance (a subclass instance included). Creates the type if needed; an
  // object cannot be an instance of a type that does not exist yet, so failure gives false.
  bool is_instance(PyObject* object);

  const char* name() const { return name_; }

 private:
  const char* name_;
  PyType_Spec* spec_;
  PyObject* type_ = nullptr;
};

// A new instance of `type`, zero-filled, from the type's own allocator (which tracks GC types);
// null with the error set.
PyObject* allocate_instance(PyTypeObject* type);
inline PyObject* allocate_instance(PyObject* type) {
  return allocate_instance(reinterpret_cast<PyTypeObject*>(type));
}

// The dealloc of heap-type instances ends with these: free the memory, drop the type's reference.
void free_instance(PyObject* self);

}  // namespace orvane::py
