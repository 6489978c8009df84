// The signing binding: the Secp256k1Signer object's key, the order-signing methods that use it, and
// the small helpers both halves share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/python.h"
#include "runtime/ref.h"
#include "signing/signer.h"

namespace orvane::py {

// The key held by a Secp256k1Signer; `self` must be one (the `self` of its methods always is).
const signing::Signer& signer_of(PyObject* self);

// A str: "0x" followed by two lower-case hex characters per byte. Null with the error set.
Ref hex0x(std::span<const std::uint8_t> bytes);

// Secp256k1Signer.polymarket_sign_order and Secp256k1Signer.opinion_sign_order (fastcall).
PyObject* polymarket_sign_order(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames);
PyObject* opinion_sign_order(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames);

}  // namespace orvane::py
