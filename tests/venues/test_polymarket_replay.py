"""Replays market-channel streams, a fixed one and others from random seeds, through polymarket_market
and through the pure-Python model of the same rules, comparing every result and the final
state: snapshots, deltas, gaps, resyncs, batches and broken frames; the pending checks are held
as prices of any type."""

import collections
import random
from decimal import Decimal

from hypothesis import given
from hypothesis import strategies as st
from orvane._core import polymarket_market
from polymarket_stream import FIXED, stream

from reference.polymarket import Market


def respell(rng, price):
    """An equal price of another type: the caller may hold any object, and its str() counts."""
    if not isinstance(price, str) or not price:
        return price
    return rng.choice([price, Decimal(price) + Decimal("0.000"), float(price)])


def replay(lines, seed=0):
    model, kinds, rng = Market(), collections.Counter(), random.Random(seed)
    books, unverified, markets = {}, {}, {}
    for line in lines:
        for asset, (stamp, *prices) in unverified.items():
            model.unverified[asset] = (stamp, *(respell(rng, p) for p in prices))
        unverified.update(model.unverified)
        ours = polymarket_market(line, books, unverified, markets)
        assert ours == model(line), line[:200]
        kinds.update(["none"] if ours is None else [e[0] if e[0] != "book" else e[3] for e in ours])
    assert markets == model.markets and unverified == model.unverified
    assert books.keys() == model.books.keys()
    for asset, book in books.items():
        expected = model.books[asset]
        bids, asks = book.levels()
        assert {level.price: level.size for level in bids} == expected["bids"]
        assert [level.price for level in bids] == sorted(expected["bids"], reverse=True)
        assert {level.price: level.size for level in asks} == expected["asks"]
        assert (book.ready, book.timestamp) == (expected["ready"], expected["timestamp"])
    return kinds


def test_fixed_stream_matches_model():
    kinds = replay(FIXED)
    # The stream exercises every path.
    assert all(kinds[k] > 3 for k in ("none", "snapshot", "delta", "gap", "resynced")), kinds


@given(st.integers(0, 2**32), st.integers(5, 80))
def test_generated_streams_match_model(seed, count):
    replay(stream(seed, count), seed)
