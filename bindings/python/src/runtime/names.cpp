#include "runtime/names.h"

namespace orvane::py {

namespace {

Names all;

}  // namespace

bool make_names() {
#define ORVANE_PY_MAKE_NAME(name)                                        \
  if (all.name == nullptr) all.name = PyUnicode_InternFromString(#name); \
  if (all.name == nullptr) return false;
  ORVANE_PY_NAMES(ORVANE_PY_MAKE_NAME)
#undef ORVANE_PY_MAKE_NAME
  return true;
}

const Names& names() { return all; }

}  // namespace orvane::py
