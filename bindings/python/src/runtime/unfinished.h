// Unfinished: a new tuple or list kept out of the garbage collector's sight while its slots are
// filled.
#pragma once

#include <utility>

#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

// Filling a container runs conversions that can collect garbage, and a finaliser walking
// gc.get_objects() must never meet a slot that is still empty. An untracked container is hidden
// from that walk, and the collector counts what it holds as reachable. `finish` tracks it again;
// dropped unfinished (a conversion failed), it is freed as it is. A container the collector never
// tracked (the empty tuple) is left as it is.
class Unfinished {
 public:
  // `made`: a new reference, or null with the error set.
  explicit Unfinished(PyObject* made) : object_(Ref::steal(made)) {
    hidden_ = object_ && PyObject_GC_IsTracked(object_.get()) == 1;
    if (hidden_) PyObject_GC_UnTrack(object_.get());
  }
  Unfinished(const Unfinished&) = delete;
  Unfinished& operator=(const Unfinished&) = delete;

  explicit operator bool() const { return bool(object_); }
  PyObject* get() const { return object_.get(); }

  // The container, whole: every slot must have been filled.
  Ref finish() {
    if (hidden_) PyObject_GC_Track(object_.get());
    hidden_ = false;
    return std::move(object_);
  }

 private:
  Ref object_;
  bool hidden_ = false;
};

}  // namespace orvane::py
