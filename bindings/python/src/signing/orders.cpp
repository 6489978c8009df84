// Venue orders from Python: `polymarket_order_hash`, `Secp256k1Signer.polymarket_sign_order` and
// `Secp256k1Signer.opinion_sign_order`.
//
// Reading is in two passes, as callers rely on which error they see first: every argument is first
// converted in parameter order (texts must be str, side and signature type integers 0..255, the
// neg-risk flag a bool), each failure carrying the parameter's note; only then are the texts parsed
// field by field, the first bad field deciding the ValueError.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "registrations.h"
#include "runtime/adapters.h"
#include "runtime/arguments.h"
#include "runtime/errors.h"
#include "runtime/python.h"
#include "runtime/ref.h"
#include "signing/keys.h"
#include "signing/opinion_order.h"
#include "signing/polymarket_order.h"
#include "signing/signing.h"
#include "text/hex.h"

namespace orvane::py {

namespace {

namespace polymarket = signing::polymarket;
namespace opinion = signing::opinion;

// A text argument (str or a subclass), viewed as UTF-8. The view points into the str object, which
// the caller keeps alive for the whole call.
bool read_text(PyObject* value, const char* parameter, std::string_view& out) {
  if (!PyUnicode_Check(value)) {
    raise_not_instance(value, "str");
    add_processing_note(parameter);
    return false;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(value, &size);
  if (text == nullptr) {
    add_processing_note(parameter);
    return false;
  }
  out = std::string_view(text, size_t(size));
  return true;
}

// A uint8 argument: any integer (through __index__) from 0 to 255.
bool read_byte(PyObject* value, const char* parameter, std::uint8_t& out) {
  int overflow = 0;
  const long number = PyLong_AsLongAndOverflow(value, &overflow);
  if (number == -1 && PyErr_Occurred()) {
    add_processing_note(parameter);
    return false;
  }
  if (overflow != 0 || number < 0 || number > 255) {
    raise(PyExc_OverflowError, "out of range integral type conversion attempted");
    add_processing_note(parameter);
    return false;
  }
  out = static_cast<std::uint8_t>(number);
  return true;
}

// A bool argument: True, False or a numpy bool; integers are refused.
bool read_flag(PyObject* value, const char* parameter, bool& out) {
  const std::optional<bool> flag = read_bool(value, parameter, NumpyBool::kAccepted);
  if (!flag) return false;
  out = *flag;
  return true;
}

// The twelve Polymarket arguments read and parsed: the order and its neg-risk flag.
struct PolymarketOrder {
  polymarket::Order order;
  bool neg_risk = false;
};

// Converts the twelve arguments in parameter order, then parses the fields (`known_address` as
// `polymarket::read_order` takes it). Null on failure, with the error set.
std::optional<PolymarketOrder> polymarket_order(const Arguments<12>& a,
                                                std::string_view known_address = {}) {
  polymarket::OrderText text;
  bool neg_risk = false;
  const bool converted =
      read_text(a[0], "salt", text.salt) && read_text(a[1], "maker", text.maker) &&
      read_text(a[2], "signer", text.signer) && read_text(a[3], "token_id", text.token_id) &&
      read_text(a[4], "maker_amount", text.maker_amount) &&
      read_text(a[5], "taker_amount", text.taker_amount) && read_byte(a[6], "side", text.side) &&
      read_byte(a[7], "signature_type", text.signature_type) &&
      read_text(a[8], "timestamp", text.timestamp) && read_text(a[9], "metadata", text.metadata) &&
      read_text(a[10], "builder", text.builder) && read_flag(a[11], "neg_risk", neg_risk);
  if (!converted) return std::nullopt;
  auto order = polymarket::read_order(text, known_address);
  if (!order) {
    raise_error(order.error());
    return std::nullopt;
  }
  return PolymarketOrder{*order, neg_risk};
}

constexpr std::array<const char*, 12> kPolymarketNames = {
    "salt", "maker",          "signer",    "token_id", "maker_amount", "taker_amount",
    "side", "signature_type", "timestamp", "metadata", "builder",      "neg_risk"};

const Parameters<12> kOrderHashParameters{"polymarket_order_hash()", kPolymarketNames, 12};

PyObject* polymarket_order_hash(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  Arguments<12> a;
  if (!a.bind(kOrderHashParameters, args, nargs, kwnames)) return nullptr;
  const auto read = polymarket_order(a);
  if (!read) return nullptr;
  return hex0x(polymarket::order_hash(read->order, read->neg_risk)).release();
}

const Parameters<12> kPolymarketSignParameters{"Secp256k1Signer.polymarket_sign_order()",
                                               kPolymarketNames, 12};

const Parameters<13> kOpinionSignParameters{
    "Secp256k1Signer.opinion_sign_order()",
    {"salt", "maker", "signer", "taker", "token_id", "maker_amount", "taker_amount", "expiration",
     "nonce", "fee_rate_bps", "side", "signature_type", "exchange"},
    13};

}  // namespace

Ref hex0x(std::span<const std::uint8_t> bytes) {
  // The longest output is a deposit wallet's 317-byte signature.
  constexpr std::size_t kMaxBytes = sizeof(polymarket::OrderSignature::bytes);
  if (bytes.size() > kMaxBytes) {
    const std::string text = signing::hex0x(bytes);
    return Ref::steal(PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size())));
  }
  std::array<char, 2 + 2 * kMaxBytes> text;
  text[0] = '0';
  text[1] = 'x';
  char* at = text.data() + 2;
  for (const std::uint8_t byte : bytes) {
    at = text::put_hex_byte(at, byte);
  }
  return Ref::steal(PyUnicode_FromStringAndSize(text.data(), at - text.data()));
}

PyObject* polymarket_sign_order(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  Arguments<12> a;
  if (!a.bind(kPolymarketSignParameters, args, nargs, kwnames)) return nullptr;
  const signing::Signer& signer = signer_of(self);
  // Orders are mostly the key's own: its address needs no checksum digest.
  const auto read = polymarket_order(a, signer.address_text());
  if (!read) return nullptr;
  const auto signature = polymarket::sign(signer, read->order, read->neg_risk);
  if (!signature) return raise_error(signature.error());
  return hex0x(signature->view()).release();
}

PyObject* opinion_sign_order(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  Arguments<13> a;
  if (!a.bind(kOpinionSignParameters, args, nargs, kwnames)) return nullptr;
  opinion::OrderText text;
  const bool converted =
      read_text(a[0], "salt", text.salt) && read_text(a[1], "maker", text.maker) &&
      read_text(a[2], "signer", text.signer) && read_text(a[3], "taker", text.taker) &&
      read_text(a[4], "token_id", text.token_id) &&
      read_text(a[5], "maker_amount", text.maker_amount) &&
      read_text(a[6], "taker_amount", text.taker_amount) &&
      read_text(a[7], "expiration", text.expiration) && read_text(a[8], "nonce", text.nonce) &&
      read_text(a[9], "fee_rate_bps", text.fee_rate_bps) && read_byte(a[10], "side", text.side) &&
      read_byte(a[11], "signature_type", text.signature_type) &&
      read_text(a[12], "exchange", text.exchange);
  if (!converted) return nullptr;
  const auto request = opinion::read_request(text);
  if (!request) return raise_error(request.error());
  const auto signature = opinion::sign(signer_of(self), request->order, request->exchange);
  if (!signature) return raise_error(signature.error());
  return hex0x(*signature).release();
}

PyMethodDef polymarket_order_hash_function = {
    "polymarket_order_hash", fastcall(polymarket_order_hash), kMethodFlags,
    "polymarket_order_hash(salt, maker, signer, token_id, maker_amount, taker_amount, side, "
    "signature_type, timestamp, metadata, builder, neg_risk)\n--\n\nThe Polymarket order's EIP-712 "
    "digest, `0x`-hex: the id the CLOB gives it."};

}  // namespace orvane::py
