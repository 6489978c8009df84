"""Router: view four member books, merge their asks into one ladder and walk it, against the same
work in pure Python with `decimal` (exact: a 28-digit context where rounding is an error)."""

import pathlib
import random
import sys
from decimal import Decimal

sys.path.insert(0, str(pathlib.Path(__file__).parent))
sys.path.insert(1, str(pathlib.Path(__file__).parent.parent))
from common import compare
from orvane._core import LocalBook, router_levels, router_view

from reference import router as reference

ZERO = Decimal(0)


# ---- the pure-Python router ----
def py_view(book, flip):
    return reference.view(book["bids"].items(), book["asks"].items(), flip)


def py_merge(members, fee, buy):
    return [m for m, _ in members], reference.merge(members, fee, buy)


def py_walk(merged, buy, quantity, limit, excluded):
    market_ids, ladder = merged
    return reference.walk(ladder, market_ids, buy, quantity, limit, excluded)


# ---- the bucket: four members, 50 levels a side, two of them flipped ----
def books(rng):
    ours, python = [], []
    for _ in range(4):
        bids = {Decimal(p) / 100: Decimal(rng.randint(1, 500)) for p in range(1, 51)}
        asks = {Decimal(p) / 100: Decimal(rng.randint(1, 500)) for p in range(50, 100)}
        book = LocalBook()
        book.replace(list(bids.items()), list(asks.items()))
        ours.append(book)
        python.append({"bids": bids, "asks": asks})
    return ours, python


IDS = ["kalshi:A", "kalshi:B", "poly:A", "poly:B"]
FLIPS = [False, True, False, True]
FLAT = dict(zip(IDS, [Decimal("0.01"), Decimal("0.02"), ZERO, Decimal("0.005")], strict=True))
RATE = Decimal("0.07")


def flat_fee(market_id, price, one):
    return FLAT[market_id]


def price_fee(market_id, price, one):
    return RATE * price * (one - price)


def plan(view, merge, walk, member_books, fee):
    members = [(i, view(b, f)[0]) for i, b, f in zip(IDS, member_books, FLIPS, strict=True)]
    merged = merge(members, fee, True)
    return walk(merged, True, Decimal(2000), Decimal("0.75"), ())


def main():
    ours_books, python_books = books(random.Random(1))
    ours_walk = lambda levels, *args: levels.walk(*args)
    for name, fee in (("flat fee", flat_fee), ("price-dependent fee", price_fee)):
        got = plan(router_view, router_levels, ours_walk, ours_books, fee)
        want = plan(py_view, py_merge, py_walk, python_books, fee)
        assert got == want, (got, want)
        compare(
            f"view+merge+walk 4x50, {name}",
            lambda fee=fee: plan(router_view, router_levels, ours_walk, ours_books, fee),
            lambda fee=fee: plan(py_view, py_merge, py_walk, python_books, fee),
            number=300,
        )
    # The stages alone, flat fee.
    ours_rows = [(i, router_view(b, f)[0]) for i, b, f in zip(IDS, ours_books, FLIPS, strict=True)]
    py_rows = [(i, py_view(b, f)[0]) for i, b, f in zip(IDS, python_books, FLIPS, strict=True)]
    compare(
        "router_view x4",
        lambda: [router_view(b, f) for b, f in zip(ours_books, FLIPS, strict=True)],
        lambda: [py_view(b, f) for b, f in zip(python_books, FLIPS, strict=True)],
        number=300,
    )
    compare(
        "router_levels 4x50",
        lambda: router_levels(ours_rows, flat_fee, True),
        lambda: py_merge(py_rows, flat_fee, True),
        number=300,
    )
    levels, merged = router_levels(ours_rows, flat_fee, True), py_merge(py_rows, flat_fee, True)
    compare(
        "walk 2000 of 200 levels",
        lambda: levels.walk(True, Decimal(2000), Decimal("0.75"), ()),
        lambda: py_walk(merged, True, Decimal(2000), Decimal("0.75"), ()),
        number=1000,
    )


if __name__ == "__main__":
    main()
