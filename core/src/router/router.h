// The router's core: exact level arithmetic, merged ladders and their walk, and the bucket view of
// one member's book. See each header for its contract.
#pragma once

#include "router/arithmetic.h"  // IWYU pragma: export
#include "router/ladder.h"      // IWYU pragma: export
#include "router/view.h"        // IWYU pragma: export
