// The one include of CPython's headers: the stable ABI of 3.11 (Py_LIMITED_API comes from the
// build).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
