// What the module registers beyond the book classes: each binding file defines its class getter or
// function definition, declared here.
#pragma once

#include "runtime/class_type.h"
#include "runtime/python.h"

namespace orvane::py {

ClassType& kalshi_book_message_class();
extern PyMethodDef kalshi_book_message_function;
extern PyMethodDef polymarket_market_function;
ClassType& opinion_depth_change_class();
ClassType& secp256k1_signer_class();
ClassType& router_levels_class();
extern PyMethodDef router_view_function;
extern PyMethodDef router_levels_function;
extern PyMethodDef polymarket_order_hash_function;
extern PyMethodDef opinion_depth_function;
extern PyMethodDef polymarket_us_market_data_function;

}  // namespace orvane::py
