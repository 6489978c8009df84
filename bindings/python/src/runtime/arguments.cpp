#include "runtime/arguments.h"

#include <string>
#include <vector>

#include "runtime/errors.h"
#include "text/concat.h"

namespace orvane::py {

namespace {

std::string quoted_names(const std::vector<const char*>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += (i + 1 == names.size()) ? " and " : ", ";
    out += concat("'", names[i], "'");
  }
  return out;
}

bool too_many_positional(const Signature& signature, Py_ssize_t given) {
  const size_t positional = signature.positional();
  const char* verb = given == 1 ? "was" : "were";
  if (signature.required == positional) {
    raise(PyExc_TypeError, concat(signature.display, " takes ", positional,
                                  " positional arguments but ", given, " ", verb, " given"));
  } else {
    raise(PyExc_TypeError,
          concat(signature.display, " takes from ", signature.required, " to ", positional,
                 " positional arguments but ", given, " ", verb, " given"));
  }
  return false;
}

// Interns the names not yet interned. A name that cannot be made now stays null (matched by text)
// and is tried again on a later call.
void intern_names(const Signature& signature) {
  // Filled from the last name to the first: a first slot that is set means every slot is.
  if (signature.interned[0] != nullptr) return;
  for (size_t i = signature.count; i-- > 0;) {
    if (signature.interned[i] != nullptr) continue;
    signature.interned[i] = PyUnicode_InternFromString(signature.names[i]);
    if (signature.interned[i] == nullptr) {
      PyErr_Clear();
      return;
    }
  }
}

}  // namespace

bool bind(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          PyObject** out, Ref* star) {
  const size_t positional = signature.positional();
  for (size_t i = 0; i < signature.count; ++i) out[i] = nullptr;

  if (size_t(nargs) > positional && !signature.star_args)
    return too_many_positional(signature, nargs);
  const size_t taken = std::min(size_t(nargs), positional);
  for (size_t i = 0; i < taken; ++i) out[i] = args[i];
  if (signature.star_args) {
    const Py_ssize_t extra = nargs - Py_ssize_t(taken);
    Ref tuple = Ref::steal(PyTuple_New(extra));
    if (!tuple) return false;
    for (Py_ssize_t i = 0; i < extra; ++i) {
      PyObject* item = args[Py_ssize_t(taken) + i];
      Py_INCREF(item);
      PyTuple_SetItem(tuple.get(), i, item);
    }
    out[signature.count - 1] = tuple.get();
    if (star != nullptr) *star = std::move(tuple);
  }

  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_Size(kwnames);
    // Keywords mostly come in parameter order (f(**record)): each search starts after the last
    // match. Names are distinct, so where it starts changes nothing but its length.
    size_t start = 0;
    if (signature.interned != nullptr && signature.count > 0 && keywords > 0)
      intern_names(signature);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
      PyObject* name = PyTuple_GetItem(kwnames, k);
      size_t index = positional;
      // By identity first, then (a name made at run time, or one we could not intern) by text.
      if (signature.interned != nullptr) {
        for (size_t j = 0; j < positional; ++j) {
          const size_t i = start + j < positional ? start + j : start + j - positional;
          if (name == signature.interned[i]) {
            index = i;
            break;
          }
        }
      }
      for (size_t j = 0; j < positional && index == positional; ++j) {
        const size_t i = start + j < positional ? start + j : start + j - positional;
        if (PyUnicode_CompareWithASCIIString(name, signature.names[i]) == 0) index = i;
      }
      if (index == positional) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(name, &size);
        if (text == nullptr) return false;
        raise(PyExc_TypeError, concat(signature.display, " got an unexpected keyword argument '",
                                      std::string_view(text, size_t(size)), "'"));
        return false;
      }
      start = index + 1;
      if (out[index] != nullptr) {
        raise(PyExc_TypeError, concat(signature.display, " got multiple values for argument '",
                                      signature.names[index], "'"));
        return false;
      }
      out[index] = args[nargs + k];
    }
  }

  std::vector<const char*> missing;
  for (size_t i = 0; i < signature.required; ++i) {
    if (out[i] == nullptr) missing.push_back(signature.names[i]);
  }
  if (!missing.empty()) {
    raise(PyExc_TypeError,
          concat(signature.display, " missing ", missing.size(), " required positional ",
                 missing.size() == 1 ? "argument" : "arguments", ": ", quoted_names(missing)));
    return false;
  }
  return true;
}

bool bind_new(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** out,
              Ref* star) {
  // The values stay borrowed from `args` and `kwargs`, which the caller keeps alive; only the
  // names need a tuple of their own.
  const Py_ssize_t nargs = args == nullptr ? 0 : PyTuple_Size(args);
  const Py_ssize_t keywords = kwargs == nullptr ? 0 : PyDict_Size(kwargs);
  std::vector<PyObject*> stack(size_t(nargs + keywords));
  for (Py_ssize_t i = 0; i < nargs; ++i) stack[size_t(i)] = PyTuple_GetItem(args, i);
  Ref kwnames;
  if (keywords > 0) {
    kwnames = Ref::steal(PyTuple_New(keywords));
    if (!kwnames) return false;
    PyObject *key = nullptr, *value = nullptr;
    Py_ssize_t position = 0, k = 0;
    while (k < keywords && PyDict_Next(kwargs, &position, &key, &value)) {
      Py_INCREF(key);
      PyTuple_SetItem(kwnames.get(), k, key);
      stack[size_t(nargs + k)] = value;
      ++k;
    }
  }
  return bind(signature, stack.data(), nargs, kwnames.get(), out, star);
}

bool bind_none(const char* display, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const kNoNames[] = {nullptr};
  const Signature signature{display, kNoNames, 0, 0, false};
  PyObject* unused = nullptr;
  return bind(signature, nullptr, nargs, kwnames, &unused);
}

}  // namespace orvane::py
