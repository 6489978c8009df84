// Names: the interned strings the binding uses as dict keys, attribute names and event words.
//
// Made once, while the module executes (it is process-wide: one interpreter per process), and kept
// for the life of the process, so that a call never interns and never fails for want of a name.
#pragma once

#include "runtime/python.h"

namespace orvane::py {

// Each name once: the member and the text it holds.
#define ORVANE_PY_NAMES(X)                                                                     \
  X(add_note)                                                                                  \
  X(book) X(client_order_id) X(delta) X(gap) X(hash) X(last_trade_price) X(market_id) X(price) \
      X(resynced) X(side) X(size) X(snapshot) X(tick_size)

struct Names {
#define ORVANE_PY_NAME_MEMBER(name) PyObject* name = nullptr;
  ORVANE_PY_NAMES(ORVANE_PY_NAME_MEMBER)
#undef ORVANE_PY_NAME_MEMBER
};

// Interns every name not yet made; false with the error set. Called by the module's execution.
bool make_names();

// The names (borrowed, immortal for our purposes). Valid once the module has executed.
const Names& names();

}  // namespace orvane::py
