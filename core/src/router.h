// The router's core: exact level arithmetic, merged ladders and their walk, and the bucket view of
// one member's book. See each header for its contract.
#pragma once

#include "router_arithmetic.h"  // IWYU pragma: export
#include "router_ladder.h"      // IWYU pragma: export
#include "router_view.h"        // IWYU pragma: export
