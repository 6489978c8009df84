#include "book/book.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

// Level semantics (set, add, replace, levels, mirrored) are checked against a dict model from
// Python (tests/book/test_book_model.py), and `replace`'s one-pass build against insertion by the
// venue fuzz target; here only what neither can reach or reach reliably.

Decimal D(const char* text) { return parse(text).value(); }

TEST(Book, AddOverflowIsAnErrorAndLeavesTheLevel) {
  Book book;
  const Decimal max = Decimal::from_parts(kMaxMantissa, 0, false);
  book.set(Side::Bid, D("1"), max);
  EXPECT_FALSE(book.add(Side::Bid, D("1"), D("1")).has_value());
  EXPECT_TRUE(book.bids.begin()->second.same_representation(max));
}

}  // namespace
}  // namespace orvane
