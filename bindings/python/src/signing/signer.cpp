// Secp256k1Signer: one private key inside a Python object, signing digests and venue orders.
//
// The key lives only in the object's own memory: it is read once from the caller's text, never
// shown (not in repr, not in any message), and wiped when the object is deallocated. The object has
// no instance dictionary and no setters, and its class cannot be patched or subclassed, so nothing
// can be attached to it or swapped in to read the key.
#include "signing/signer.h"

#include <string.h>  // NOLINT(modernize-deprecated-headers): explicit_bzero

#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "registrations.h"
#include "runtime/arguments.h"
#include "runtime/class_type.h"
#include "runtime/cpp_object.h"
#include "runtime/errors.h"
#include "runtime/python.h"
#include "runtime/ref.h"
#include "signing/signing.h"
#include "text/concat.h"

namespace orvane::py {

namespace {

// The signer's destructor wipes the key before the object's memory goes back.
using SignerObject = CppObject<signing::Signer>;

constexpr std::string_view kNotHex = "not a hex private key";

// The key text as UTF-8, in a bytes object of our own that `wipe_key_text` clears. Asking the str
// for its UTF-8 form instead would leave a copy of the key cached inside the caller's object (for
// any text that is not pure ASCII, such as a key padded with no-break spaces), never wiped. A str
// that cannot be encoded (a lone surrogate) holds a character that is no hex digit, so it is
// refused like any other non-hex text: the UnicodeEncodeError would carry the whole key text in its
// `object`.
Ref key_text(PyObject* value) {
  if (!PyUnicode_Check(value)) {
    raise_not_instance(value, "str");
    add_processing_note("private_key");
    return {};
  }
  Ref text = Ref::steal(PyUnicode_AsUTF8String(value));
  if (!text && PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) {
    PyErr_Clear();
    value_error(kNotHex);
  }
  return text;
}

std::string_view bytes_view(PyObject* bytes) {
  return std::string_view(PyBytes_AsString(bytes), size_t(PyBytes_Size(bytes)));
}

// Clears the key text. Only a bytes object that nothing else holds is written to: the empty and
// one-byte objects are the interpreter's shared singletons.
void wipe_key_text(PyObject* bytes) {
  if (Py_REFCNT(bytes) == 1 && PyBytes_Size(bytes) > 1) {
    explicit_bzero(PyBytes_AsString(bytes), size_t(PyBytes_Size(bytes)));
  }
}

const Parameters<1> kNewParameters{"Secp256k1Signer.__new__()", {"private_key"}, 1};

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  Arguments<1> a;
  if (!a.bind_new(kNewParameters, args, kwargs)) return nullptr;

  const Ref text = key_text(a[0]);
  if (!text) return nullptr;
  // Read and checked before anything is allocated: a failed constructor leaves no object behind.
  auto made = signing::Signer::from_hex(bytes_view(text.get()));
  wipe_key_text(text.get());
  if (!made) return raise_error(made.error());

  // The move copies the key into the object and wipes the source.
  return SignerObject::create(reinterpret_cast<PyObject*>(type), std::move(*made)).release();
}

PyObject* str_of(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

PyObject* get_address(PyObject* self, void*) { return str_of(signer_of(self).address()); }

PyObject* repr(PyObject* self) {
  return str_of(concat("Secp256k1Signer(address=", signer_of(self).address(), ")"));
}

const Parameters<1> kSignDigestParameters{"Secp256k1Signer.sign_digest()", {"digest"}, 1};

PyObject* sign_digest(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  Arguments<1> a;
  if (!a.bind(kSignDigestParameters, args, nargs, kwnames)) return nullptr;
  PyObject* digest = a[0];
  if (!PyBytes_Check(digest)) {
    raise_not_instance(digest, "bytes");
    add_processing_note("digest");
    return nullptr;
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(PyBytes_AsString(digest));
  if (data == nullptr) return nullptr;
  const auto signature = signer_of(self).sign_digest(std::span(data, size_t(PyBytes_Size(digest))));
  if (!signature) return raise_error(signature.error());
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(signature->data()),
                                   Py_ssize_t(signature->size()));
}

PyMethodDef methods[] = {
    {"sign_digest", fastcall(sign_digest), kMethodFlags,
     "sign_digest($self, digest)\n--\n\n`r || s || v` over a 32-byte digest, as "
     "`Account._sign_hash` gives it."},
    {"polymarket_sign_order", fastcall(polymarket_sign_order), kMethodFlags,
     "polymarket_sign_order($self, salt, maker, signer, token_id, maker_amount, taker_amount, "
     "side, signature_type, timestamp, metadata, builder, neg_risk)\n--\n\nThe Polymarket order's "
     "signature, `0x`-hex, for its wallet type."},
    {"opinion_sign_order", fastcall(opinion_sign_order), kMethodFlags,
     "opinion_sign_order($self, salt, maker, signer, taker, token_id, maker_amount, taker_amount, "
     "expiration, nonce, fee_rate_bps, side, signature_type, exchange)\n--\n\nThe Opinion order's "
     "signature, `0x`-hex, over the market's exchange."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    {"address", get_address, nullptr, "The key's address, checksummed.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const char kDoc[] =
    "Secp256k1Signer(private_key)\n--\n\n"
    "A secp256k1 private key that signs digests and venue orders (Polymarket, Opinion). The key "
    "never leaves the extension's own memory, is never printed, and is wiped when the object is "
    "dropped.";

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kDoc)},
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(SignerObject::dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {0, nullptr},
};

// Not a base type and immutable: no subclass can add a dictionary, and no method can be replaced.
PyType_Spec spec = {
    "orvane._core.Secp256k1Signer",
    sizeof(SignerObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

ClassType& secp256k1_signer_class() {
  static ClassType type("Secp256k1Signer", &spec);
  return type;
}

const signing::Signer& signer_of(PyObject* self) { return SignerObject::value_of(self); }

}  // namespace orvane::py
