#include "runtime/objects.h"

#include <absl/container/flat_hash_map.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "runtime/errors.h"
#include "runtime/names.h"
#include "runtime/tuple.h"

namespace orvane::py {

namespace {

// Process-wide values: computed once, kept for the life of the process. Two threads racing through
// a first computation both get the same objects (imports are cached by the interpreter), so the
// loser's copy is simply dropped.
PyObject* import_attribute(const char* module_name, const char* attribute) {
  Ref module = Ref::steal(PyImport_ImportModule(module_name));
  if (!module) return nullptr;
  return PyObject_GetAttrString(module.get(), attribute);
}

PyObject* keep(PyObject*& slot, PyObject* computed) {
  if (computed == nullptr) return nullptr;
  if (slot == nullptr) {
    slot = computed;
  } else {
    Py_DECREF(computed);
  }
  return slot;
}

PyObject* book_level_class() {
  static PyObject* cls = nullptr;
  if (cls != nullptr) return cls;
  Ref found = Ref::steal(import_attribute("orvane.ws.base", "BookLevel"));
  if (!found) return nullptr;
  if (!PyType_Check(found.get())) {
    raise_not_instance(found.get(), "type");
    return nullptr;
  }
  return keep(cls, found.release());
}

PyObject* interned(PyObject*& slot, const char* text) {
  if (slot == nullptr) slot = PyUnicode_InternFromString(text);
  return slot;
}

// The direct path is taken when BookLevel is a dataclass whose slots are exactly ("price", "size"):
// its records can then be allocated and filled without running the dataclass initialiser.
bool read_direct_flag(PyObject* cls) {
  Ref slots = Ref::steal(PyObject_GetAttrString(cls, "__slots__"));
  if (!slots) return false;
  Ref sequence = Ref::steal(PySequence_Fast(slots.get(), "not a sequence"));
  if (!sequence || PySequence_Size(sequence.get()) != 2) return false;
  static const char* const kExpected[] = {"price", "size"};
  for (Py_ssize_t i = 0; i < 2; ++i) {
    Ref item = Ref::steal(PySequence_GetItem(sequence.get(), i));
    if (!item || !PyUnicode_Check(item.get()) ||
        PyUnicode_CompareWithASCIIString(item.get(), kExpected[i]) != 0) {
      return false;
    }
  }
  // object.__new__ refuses an abstract class; the allocator alone would not.
  if ((PyType_GetFlags(reinterpret_cast<PyTypeObject*>(cls)) & Py_TPFLAGS_IS_ABSTRACT) != 0) {
    return false;
  }
  return PyObject_HasAttrString(cls, "__dataclass_fields__") == 1;
}

enum class Direct { Unknown, Yes, No };

Direct direct_flag(PyObject* cls) {
  static Direct flag = Direct::Unknown;
  if (flag == Direct::Unknown) {
    // Failures while reading only select the constructor path; the caller's error state is kept.
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    const bool direct = read_direct_flag(cls);
    PyErr_Clear();
    PyErr_Restore(type, value, traceback);
    if (flag == Direct::Unknown) flag = direct ? Direct::Yes : Direct::No;
  }
  return flag;
}

// The exact 16-byte representation as two words: hashed with one multiply-mix and compared with two
// word comparisons, since these lookups are the hot path of every conversion.
struct DecimalKey {
  uint64_t low;
  uint64_t high;
  explicit DecimalKey(const Decimal& value) {
    const Decimal::Bits bits = value.bits();
    low = uint64_t(bits[0]) | uint64_t(bits[1]) << 32;
    high = uint64_t(bits[2]) | uint64_t(bits[3]) << 32;
  }
  friend bool operator==(const DecimalKey&, const DecimalKey&) = default;
};

struct DecimalKeyHash {
  size_t operator()(const DecimalKey& key) const {
    const u128 product = u128(key.low ^ 0x9E3779B97F4A7C15ull) * (key.high ^ 0xD6E8FEB86659FD93ull);
    return size_t(uint64_t(product) ^ uint64_t(product >> 64));
  }
};

constexpr size_t kRecentKeys = 8;

// One thread's caches. The objects in `decimals` and `keys` are strong references.
struct DecimalCaches {
  absl::flat_hash_map<DecimalKey, PyObject*, DecimalKeyHash> decimals;
  absl::flat_hash_map<const PyObject*, Decimal> values;
  // The instrument keys (tickers, asset ids, tokens) last made, by a slot of their text: a stream
  // names the same few over and over, and a str made once keeps its hash for the dict lookups.
  std::array<PyObject*, kRecentKeys> keys{};

  // Empties both maps before releasing anything: a release may run a finaliser that re-enters.
  void clear() {
    values.clear();
    auto held = std::exchange(decimals, {});
    for (auto& entry : held) Py_DECREF(entry.second);
  }
  ~DecimalCaches();
};

constexpr const char* kCapsuleName = "orvane._core.DecimalCaches";

// A shortcut to the current thread's caches, checked against the thread state it was found for; the
// caches themselves live in (and die with) the thread-state dictionary.
// The caches last used, and the thread state they belong to. Every call holds the interpreter lock,
// so one process-wide shortcut serves (a thread switch costs one dictionary lookup). Any thread's
// caches dying bumps the generation, so the shortcut never outlives the caches it points to.
struct CurrentCaches {
  PyThreadState* thread = nullptr;
  DecimalCaches* caches = nullptr;
  uint64_t generation = 0;
};
CurrentCaches current;
uint64_t caches_generation = 0;

DecimalCaches::~DecimalCaches() {
  ++caches_generation;
  if (current.caches == this) current = {};
  clear();
  for (PyObject* key : std::exchange(keys, {})) Py_XDECREF(key);
}

void destroy_caches(PyObject* capsule) {
  delete static_cast<DecimalCaches*>(PyCapsule_GetPointer(capsule, kCapsuleName));
}

// `thread_caches` when the shortcut does not hold: the caches found in (or added to) the
// thread-state dictionary.
[[gnu::noinline]] DecimalCaches* find_thread_caches(PyThreadState* thread, bool create) {
  const uint64_t generation = caches_generation;
  static PyObject* key = nullptr;
  if (interned(key, kCapsuleName) == nullptr) return nullptr;
  PyObject* dict = PyThreadState_GetDict();
  if (dict == nullptr) {
    if (create) raise(PyExc_RuntimeError, "no thread state dictionary");
    return nullptr;
  }
  PyObject* capsule = PyDict_GetItemWithError(dict, key);
  if (capsule == nullptr) {
    if (PyErr_Occurred() || !create) return nullptr;
    auto* caches = new DecimalCaches();
    Ref made = Ref::steal(PyCapsule_New(caches, kCapsuleName, destroy_caches));
    if (!made) {
      delete caches;
      return nullptr;
    }
    if (PyDict_SetItem(dict, key, made.get()) < 0) return nullptr;
    current = {thread, caches, generation};
    return caches;
  }
  auto* caches = static_cast<DecimalCaches*>(PyCapsule_GetPointer(capsule, kCapsuleName));
  if (caches != nullptr) current = {thread, caches, generation};
  return caches;
}

// This thread's caches, created on first use; null with an error set on failure. The shortcut's
// test is inlined into every conversion.
inline DecimalCaches* thread_caches(bool create) {
  PyThreadState* thread = PyThreadState_Get();
  if (current.thread == thread && current.caches != nullptr &&
      current.generation == caches_generation) {
    return current.caches;
  }
  return find_thread_caches(thread, create);
}

}  // namespace

namespace {
PyObject* decimal_type = nullptr;  // decimal.Decimal once imported
}  // namespace

PyObject* decimal_class() {
  if (decimal_type != nullptr) return decimal_type;
  return keep(decimal_type, import_attribute("decimal", "Decimal"));
}

namespace {

// The decimal module's own Decimal(text) is its type's __new__ alone: its __init__ is object's and
// the type cannot change, so the constructor may be called without the type call around it. Null
// for any other class (a replaced or subclassed Decimal), which is called as a class.
newfunc direct_constructor(PyObject* cls) {
  auto* type = reinterpret_cast<PyTypeObject*>(cls);
  if ((PyType_GetFlags(type) & Py_TPFLAGS_IMMUTABLETYPE) == 0) return nullptr;
  if (PyType_GetSlot(type, Py_tp_init) != PyType_GetSlot(&PyBaseObject_Type, Py_tp_init)) {
    return nullptr;
  }
  return reinterpret_cast<newfunc>(PyType_GetSlot(type, Py_tp_new));
}

}  // namespace

Ref new_decimal(const Decimal& value) {
  PyObject* cls = decimal_class();
  if (cls == nullptr) return {};
  const std::string text = to_text(value);
  Ref argument = Ref::steal(PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size())));
  if (!argument) return {};
  static const newfunc construct = direct_constructor(cls);
  if (construct == nullptr) {
    return Ref::steal(PyObject_CallFunctionObjArgs(cls, argument.get(), nullptr));
  }
  Ref arguments = Ref::steal(PyTuple_Pack(1, argument.get()));
  if (!arguments) return {};
  return Ref::steal(construct(reinterpret_cast<PyTypeObject*>(cls), arguments.get(), nullptr));
}

Ref decimal(const Decimal& value) {
  const DecimalKey key(value);
  DecimalCaches* caches = thread_caches(true);
  if (caches == nullptr) return {};
  if (auto it = caches->decimals.find(key); it != caches->decimals.end()) {
    return Ref::borrow(it->second);
  }
  Ref object = new_decimal(value);
  if (!object) return {};
  // Building the object can run Python code (a collection, a finaliser) that uses the caches; look
  // them up again rather than trusting anything found before.
  caches = thread_caches(true);
  if (caches == nullptr) return {};
  if (auto it = caches->decimals.find(key); it != caches->decimals.end()) {
    return Ref::borrow(it->second);
  }
  if (caches->decimals.size() >= kDecimalCacheCapacity) caches->clear();
  caches->values.emplace(object.get(), value);
  caches->decimals.emplace(key, object.new_reference());
  return object;
}

namespace {

// The cached object of `value` (borrowed: take a reference before anything else runs), or null.
inline PyObject* cache_hit(DecimalCaches& caches, const Decimal& value) {
  const auto it = caches.decimals.find(DecimalKey(value));
  return it != caches.decimals.end() ? it->second : nullptr;
}

// The objects of a level's price and size, with one fetch of the caches when both are there.
bool level_objects(const Level& level, Ref& price, Ref& size) {
  // Found again for every level: making a tuple can collect garbage, and a finaliser can use them.
  DecimalCaches* caches = thread_caches(true);
  if (caches == nullptr) return false;
  PyObject* price_hit = cache_hit(*caches, level.first);
  PyObject* size_hit = cache_hit(*caches, level.second);
  price = price_hit != nullptr ? Ref::borrow(price_hit) : decimal(level.first);
  if (!price) return false;
  // A miss above ran Python code, which may have emptied the caches: look the size up again.
  size =
      price_hit != nullptr && size_hit != nullptr ? Ref::borrow(size_hit) : decimal(level.second);
  return bool(size);
}

}  // namespace

Ref pair_tuple(std::span<const Level> levels) {
  TupleBuilder tuple(Py_ssize_t(levels.size()));
  for (const Level& level : levels) {
    Ref price, size;
    if (!level_objects(level, price, size)) return {};
    if (!tuple.add(Ref::steal(PyTuple_Pack(2, price.get(), size.get())))) return {};
  }
  return tuple.take();
}

Ref key_str(std::string_view utf8) {
  const size_t slot = (utf8.size() + (utf8.empty() ? 0 : 7 * uint8_t(utf8.back()))) % kRecentKeys;
  DecimalCaches* caches = thread_caches(true);
  if (caches == nullptr) return {};
  if (PyObject* held = caches->keys[slot]) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(held, &size);  // made from UTF-8: it has a form
    if (text != nullptr && std::string_view(text, size_t(size)) == utf8) return Ref::borrow(held);
    if (text == nullptr) PyErr_Clear();
  }
  Ref made = new_str(utf8);
  if (!made) return {};
  caches = thread_caches(true);
  if (caches == nullptr) return {};
  Py_XDECREF(std::exchange(caches->keys[slot], made.new_reference()));
  return made;
}

Ref optional_decimal(const std::optional<Decimal>& value) {
  if (!value) return Ref::borrow(Py_None);
  return decimal(*value);
}

namespace {

std::optional<Decimal> parse_text(std::string_view digits, bool exact) {
  auto parsed = exact ? parse_exact(digits) : parse(digits);
  if (!parsed) {
    raise_error(parsed.error());
    return std::nullopt;
  }
  return *parsed;
}

std::optional<Decimal> extract(PyObject* object, bool exact) {
  if (PyIndex_Check(object)) {
    // An integer beyond 64 bits goes the text way; an index method that raises is the caller's
    // error (it may be a borrow conflict the caller must see).
    Ref index = Ref::steal(PyNumber_Index(object));
    if (!index) return std::nullopt;
    int overflow = 0;
    const long long integer = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (overflow == 0) {
      if (integer == -1 && PyErr_Occurred()) return std::nullopt;
      return Decimal::from_integer(integer);
    }
  }
  Ref text = Ref::steal(PyObject_Str(object));
  if (!text) return std::nullopt;
  if (decimal_type != nullptr && Py_TYPE(object) == reinterpret_cast<PyTypeObject*>(decimal_type)) {
    // A decimal.Decimal's own text is a new ASCII str: read in place, with no encoding step. Text
    // that is no UTF-8 goes the general way below.
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size); utf8 != nullptr) {
      return parse_text(std::string_view(utf8, size_t(size)), exact);
    }
    PyErr_Clear();
  }
  // Lone surrogates cannot be UTF-8: their bytes under surrogatepass are equally not a decimal.
  Ref bytes = Ref::steal(PyUnicode_AsEncodedString(text.get(), "utf-8", "surrogatepass"));
  if (!bytes) return std::nullopt;
  char* utf8 = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes.get(), &utf8, &size) < 0) return std::nullopt;
  return parse_text(std::string_view(utf8, size_t(size)), exact);
}

std::optional<Decimal> from_py(PyObject* object, bool exact) {
  if (DecimalCaches* caches = thread_caches(false); caches != nullptr && !caches->values.empty()) {
    if (auto it = caches->values.find(object); it != caches->values.end()) return it->second;
  } else if (PyErr_Occurred()) {
    return std::nullopt;
  }
  return extract(object, exact);
}

}  // namespace

std::optional<Decimal> extract_decimal(PyObject* object) { return extract(object, false); }

std::optional<Decimal> from_py(PyObject* object) { return from_py(object, false); }

std::optional<Decimal> from_py_exact(PyObject* object) { return from_py(object, true); }

namespace {

// A slot of the class: its descriptor and the setter object.__setattr__ would call for it.
struct SlotSetter {
  PyObject* descriptor = nullptr;
  descrsetfunc set = nullptr;

  bool find(PyObject* cls, PyObject* name) {
    descriptor = PyObject_GetAttr(cls, name);  // a slot's descriptor gives itself on the class
    if (descriptor == nullptr) return false;
    set = reinterpret_cast<descrsetfunc>(PyType_GetSlot(Py_TYPE(descriptor), Py_tp_descr_set));
    return set != nullptr;
  }
  int operator()(PyObject* record, PyObject* value) const { return set(descriptor, record, value); }
};

// The direct way of making a record, when the class allows it: its allocator and its two slots.
struct DirectRecord {
  allocfunc allocate = nullptr;
  SlotSetter price, size;
};

const DirectRecord* direct_record(PyObject* cls) {
  static DirectRecord direct;
  static bool found = false, tried = false;
  if (tried) return found ? &direct : nullptr;
  if (direct_flag(cls) == Direct::Yes) {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    DirectRecord made;
    made.allocate = reinterpret_cast<allocfunc>(
        PyType_GetSlot(reinterpret_cast<PyTypeObject*>(cls), Py_tp_alloc));
    found = made.allocate != nullptr && made.price.find(cls, names().price) &&
            made.size.find(cls, names().size);
    PyErr_Clear();
    PyErr_Restore(type, value, traceback);
    if (found) {
      direct = made;  // the descriptors are kept for the life of the process, as the class is
    } else {
      Py_XDECREF(made.price.descriptor);
      Py_XDECREF(made.size.descriptor);
    }
  }
  tried = true;
  return found ? &direct : nullptr;
}

}  // namespace

Ref book_level(PyObject* price, PyObject* size) {
  PyObject* cls = book_level_class();
  if (cls == nullptr) return {};
  // What object.__new__(BookLevel) does for a concrete class called with no arguments, without
  // building its argument tuple: the type's own allocator (every heap type has one). The fields
  // are then stored as object.__setattr__ stores them, through the slots' descriptors, found once.
  if (const DirectRecord* direct = direct_record(cls)) {
    Ref record = Ref::steal(direct->allocate(reinterpret_cast<PyTypeObject*>(cls), 0));
    if (!record) return {};
    if (direct->price(record.get(), price) < 0) return {};
    if (direct->size(record.get(), size) < 0) return {};
    return record;
  }
  return Ref::steal(PyObject_CallFunctionObjArgs(cls, price, size, nullptr));
}

Ref level_tuple(std::span<const Level> levels) {
  TupleBuilder tuple(Py_ssize_t(levels.size()));
  for (const Level& level : levels) {
    Ref price, size;
    if (!level_objects(level, price, size)) return {};
    if (!tuple.add(book_level(price.get(), size.get()))) return {};
  }
  return tuple.take();
}

size_t decimal_cache_size() {
  DecimalCaches* caches = thread_caches(false);
  if (caches == nullptr) {
    PyErr_Clear();
    return 0;
  }
  return caches->decimals.size();
}

}  // namespace orvane::py
