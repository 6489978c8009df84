// The module's front door: multi-phase initialisation and the registration of its names, in order.
#include <cstdint>
#include <variant>

#include "book/book_side.h"
#include "book/local_book.h"
#include "registrations.h"
#include "runtime/arguments.h"
#include "runtime/class_type.h"
#include "runtime/names.h"
#include "runtime/python.h"
#include "runtime/ref.h"

namespace orvane::py {

namespace {

using ClassGetter = ClassType& (*)();
using Registration = std::variant<ClassGetter, PyMethodDef*>;

// Each class and function at its place; a new one is one line here (and its declaration in
// registrations.h).
const Registration kRegistrations[] = {
    local_book_class,
    book_side_class,
    kalshi_book_message_class,
    &kalshi_book_message_function,
    &polymarket_market_function,
    opinion_depth_change_class,
    secp256k1_signer_class,
    router_levels_class,
    &router_view_function,
    &router_levels_function,
    &polymarket_order_hash_function,
    &opinion_depth_function,
    &polymarket_us_market_data_function,
};

constexpr const char kVersion[] = "0.1.0";

int register_one(PyObject* module, PyObject* module_name, const Registration& registration) {
  if (const auto* getter = std::get_if<ClassGetter>(&registration)) {
    ClassType& type = (*getter)();
    PyObject* object = type.create();
    if (object == nullptr) return -1;
    Py_INCREF(object);
    if (PyModule_AddObject(module, type.name(), object) < 0) {
      Py_DECREF(object);
      return -1;
    }
    return 0;
  }
  PyMethodDef* definition = std::get<PyMethodDef*>(registration);
  Ref function = Ref::steal(PyCFunction_NewEx(definition, module, module_name));
  if (!function) return -1;
  return PyModule_AddObjectRef(module, definition->ml_name, function.get());
}

int execute(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "orvane._core can only be executed into a module object");
    return -1;
  }
  // The classes and cached objects are process-wide: they belong to the first interpreter that
  // imports the module, and another interpreter would see that one's objects.
  static int64_t owner = -1;
  const int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (interpreter < 0) return -1;
  if (owner == -1) owner = interpreter;
  if (owner != interpreter) {
    PyErr_SetString(PyExc_ImportError,
                    "orvane._core can be imported by one interpreter of a process only");
    return -1;
  }
  if (!make_names()) return -1;
  Ref module_name = Ref::steal(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  for (const Registration& registration : kRegistrations) {
    if (register_one(module, module_name.get(), registration) < 0) return -1;
  }
  return PyModule_AddStringConstant(module, "__version__", kVersion);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(execute)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_core", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace orvane::py

// PyMODINIT_FUNC gives the C linkage; the name is the one CPython looks for.
PyMODINIT_FUNC PyInit__core() {  // NOLINT(bugprone-reserved-identifier)
  return PyModuleDef_Init(&orvane::py::module_definition);
}
