// TupleBuilder: a new tuple filled item by item.
#pragma once

#include <utility>

#include "runtime/python.h"
#include "runtime/ref.h"
#include "runtime/unfinished.h"

namespace orvane::py {

// `add` takes an item's new reference, or null (a failed conversion, its error set), and reports
// whether the tuple is still whole. Chained with && (`out.add(a()) && out.add(b())`), the first
// failure stops the chain, so no conversion runs while an earlier one's error is set. Take the
// tuple only after every add succeeded.
class TupleBuilder {
 public:
  explicit TupleBuilder(Py_ssize_t size) : tuple_(PyTuple_New(size)) {}
  bool add(Ref item) {
    if (!tuple_ || !item) return false;
    PyTuple_SetItem(tuple_.get(), next_++, item.release());
    return true;
  }
  Ref take() { return tuple_.finish(); }

 private:
  Unfinished tuple_;
  Py_ssize_t next_ = 0;
};

}  // namespace orvane::py
