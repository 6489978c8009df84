#include "runtime/adapters.h"

#include "runtime/errors.h"
#include "runtime/objects.h"
#include "runtime/ref.h"
#include "text/concat.h"

namespace orvane::py {

namespace {

PyObject* mapping_class() {
  static PyObject* cls = nullptr;
  if (cls == nullptr) {
    Ref module = Ref::steal(PyImport_ImportModule("collections.abc"));
    if (!module) return nullptr;
    cls = PyObject_GetAttrString(module.get(), "Mapping");
  }
  return cls;
}

bool is_numpy_bool(PyObject* value) {
  Ref module =
      Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__module__"));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  if (!PyUnicode_Check(module.get()) ||
      PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
    return false;
  }
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(value)));
  if (!name) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
         PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0;
}

}  // namespace

std::optional<bool> read_bool(PyObject* value) {
  if (PyBool_Check(value)) return value == Py_True;
  if (!is_numpy_bool(value)) {
    raise_not_instance(value, "bool");
    return std::nullopt;
  }
  const int truth = PyObject_IsTrue(value);
  if (truth < 0) return std::nullopt;
  return truth != 0;
}

int is_mapping(PyObject* object) {
  if (PyDict_Check(object)) return 1;
  PyObject* mapping = mapping_class();
  if (mapping == nullptr) return -1;
  return PyObject_IsInstance(object, mapping);
}

std::optional<LevelList> pairs(PyObject* object) {
  Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) return std::nullopt;
  LevelList out;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!PyTuple_Check(item.get())) {
      raise_not_instance(item.get(), "tuple");
      return std::nullopt;
    }
    const Py_ssize_t length = PyTuple_Size(item.get());
    if (length != 2) {
      raise(PyExc_ValueError,
            concat("expected tuple of length 2, but got tuple of length ", length));
      return std::nullopt;
    }
    // The tuple is held, so its items stay alive while their conversions run Python code.
    auto price = extract_decimal(PyTuple_GetItem(item.get(), 0));
    if (!price) return std::nullopt;
    auto size = extract_decimal(PyTuple_GetItem(item.get(), 1));
    if (!size) return std::nullopt;
    out.emplace_back(*price, *size);
  }
  if (PyErr_Occurred()) return std::nullopt;
  return out;
}

std::optional<PriceMap> mapping_levels(PyObject* object) {
  const int mapping = is_mapping(object);
  if (mapping < 0) return std::nullopt;
  Ref items;
  if (mapping == 1) {
    items = Ref::steal(PyMapping_Items(object));
    if (!items) return std::nullopt;
  }
  auto levels = pairs(items ? items.get() : object);
  if (!levels) return std::nullopt;
  PriceMap map;
  insert_levels(map, *levels);
  return map;
}

}  // namespace orvane::py
