// Ref: the owned Python reference. Move-only; releases its reference when it goes.
#pragma once

#include <string_view>
#include <utility>

#include "runtime/python.h"

namespace orvane::py {

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (which may be null, as C-API calls return on failure).
  static Ref steal(PyObject* object) { return Ref(object); }
  // Takes a new reference to a borrowed object.
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return Ref(object);
  }

  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (usually Python).
  PyObject* release() { return std::exchange(object_, nullptr); }
  // A new reference for the caller, keeping ours.
  PyObject* new_reference() const {
    Py_XINCREF(object_);
    return object_;
  }
  // Replaces the held object; the old reference is dropped after the new one is in place, so a
  // finaliser that runs on the drop sees a consistent holder.
  void reset(PyObject* object = nullptr) {
    PyObject* old = std::exchange(object_, object);
    Py_XDECREF(old);
  }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

// A new str from UTF-8 text; null with the error set.
inline Ref new_str(std::string_view utf8) {
  return Ref::steal(PyUnicode_FromStringAndSize(utf8.data(), Py_ssize_t(utf8.size())));
}

}  // namespace orvane::py
