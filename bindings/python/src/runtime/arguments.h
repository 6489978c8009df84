// The one argument binder of the module's functions and methods (METH_FASTCALL | METH_KEYWORDS).
//
// Parameters are positional-or-keyword; the first `required` have no default; with `star_args` the
// last name collects the extra positional arguments into a tuple and cannot be given by keyword.
// Binding failures raise TypeError with CPython's own texts, prefixed by the display name.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

struct Signature {
  const char* display;  // "LocalBook.add()" or "kalshi_book_message()"
  const char* const* names;
  size_t count;     // number of names, the star parameter included
  size_t required;  // leading parameters without a default
  bool star_args;
  // Null, or one slot per name for its interned str, made on first use and kept for the process:
  // callers' keywords are mostly interned too, so most match by identity.
  PyObject** interned = nullptr;

  size_t positional() const { return star_args ? count - 1 : count; }
};

// Binds into `out` (Signature::count slots): borrowed arguments, valid for the call; null where an
// optional parameter was not given. With star_args the last slot is an owned tuple held by `star`.
// Returns false with TypeError set.
bool bind(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          PyObject** out, Ref* star = nullptr);

// `bind` for a type's tp_new, which receives a tuple and a dict (either may be null) rather than
// the vectorcall layout: the same parameters, the same messages.
bool bind_new(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** out,
              Ref* star = nullptr);

// A signature with its names stored alongside: `static const Parameters<3> kAdd{"LocalBook.add()",
// {"side", "price", "delta"}, 3};` then `Arguments<3> a; if (!a.bind(kAdd, args, nargs, kw)) ...`.
template <size_t N>
struct Parameters {
  std::array<const char*, N> names;
  mutable std::array<PyObject*, N> interned{};
  Signature signature;
  constexpr Parameters(const char* display, std::array<const char*, N> parameter_names,
                       size_t required, bool star_args = false)
      : names(parameter_names), signature{display, nullptr, N, required, star_args} {}
};

template <size_t N>
class Arguments {
 public:
  bool bind(const Parameters<N>& parameters, PyObject* const* args, Py_ssize_t nargs,
            PyObject* kwnames) {
    Signature signature = parameters.signature;
    signature.names = parameters.names.data();
    signature.interned = parameters.interned.data();
    return py::bind(signature, args, nargs, kwnames, values_.data(), &star_);
  }
  bool bind_new(const Parameters<N>& parameters, PyObject* args, PyObject* kwargs) {
    Signature signature = parameters.signature;
    signature.names = parameters.names.data();
    signature.interned = parameters.interned.data();
    return py::bind_new(signature, args, kwargs, values_.data(), &star_);
  }
  // Borrowed; null when an optional argument was not given.
  PyObject* operator[](size_t index) const { return values_[index]; }

 private:
  std::array<PyObject*, N> values_{};
  Ref star_;
};

// Method-table entries of fastcall functions.
inline constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;
using FastcallFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
inline PyCFunction fastcall(FastcallFunction function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Binds a call that takes no arguments at all.
bool bind_none(const char* display, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace orvane::py
