"""Replays market-channel streams, the recorded one and generated ones, through polymarket_market
and through a small pure-Python model of the same rules, comparing every result and the final
state: snapshots, deltas, gaps, resyncs, batches and broken frames."""

import collections
import json
import sys
from decimal import Decimal
from pathlib import Path

from hypothesis import given
from hypothesis import strategies as st
from orvane._core import polymarket_market
from orvane.ws.base import BookLevel

sys.path.insert(0, str(Path(__file__).parent / "data"))
import make_polymarket_stream

STREAM = Path(__file__).parent / "data" / "polymarket_stream.jsonl"


def price(value):
    if value is None or value == "":
        return None
    return Decimal(repr(value) if isinstance(value, float) else str(value))


def agrees(local, venue):
    if venue is None:
        return True
    return local == venue if local is not None else venue in (0, 1)


class Model:
    """The handler's rules on plain dicts: asset -> {"bids", "asks", "ready", "timestamp"}."""

    def __init__(self):
        self.books, self.unverified, self.markets = {}, {}, {}

    def best(self, asset):
        book = self.books.get(asset)
        if book is None:
            return None, None
        return max(book["bids"], default=None), min(book["asks"], default=None)

    def verify(self, asset, events):
        entry = self.unverified.pop(asset, None)
        book = self.books.get(asset)
        if entry is None or book is None or not book["ready"]:
            return False
        bid, ask = self.best(asset)
        if agrees(bid, price(entry[1])) and agrees(ask, price(entry[2])):
            return False
        events.append(("gap", asset, bid, ask, entry[1], entry[2]))
        book["ready"] = False
        return True

    def __call__(self, raw):
        try:
            frame = json.loads(raw)
        except ValueError:
            return None
        messages = frame if isinstance(frame, list) else [frame]
        if any(m.get("event_type") not in ("book", "price_change") for m in messages):
            return None
        events = []
        for m in messages:
            ts = int(m["timestamp"])
            if m["event_type"] == "book":
                self.snapshot(m, ts, events)
            else:
                self.price_change(m, ts, events)
        return events

    def snapshot(self, m, ts, events):
        asset = m["asset_id"]
        self.markets[asset] = m["market"]
        book = self.books.setdefault(
            asset, {"bids": {}, "asks": {}, "ready": False, "timestamp": None}
        )
        resynced = not book["ready"] and book["timestamp"] is not None
        for side in ("bids", "asks"):
            book[side] = {}
            for level in m[side]:
                if price(level["size"]) > 0:
                    book[side][price(level["price"])] = price(level["size"])
        book.update(ready=True, timestamp=ts)
        self.unverified.pop(asset, None)
        if resynced:
            events.append(("resynced", asset))
        bids = tuple(BookLevel(p, s) for p, s in sorted(book["bids"].items(), reverse=True))
        asks = tuple(BookLevel(p, s) for p, s in sorted(book["asks"].items()))
        extra = {k: m.get(k) for k in ("hash", "tick_size", "last_trade_price")}
        events.append(
            ("book", asset, m["market"], "snapshot", bids, asks, *self.best(asset), ts, extra)
        )

    def price_change(self, m, ts, events):
        for asset in [a for a, entry in self.unverified.items() if ts - entry[0] > 500]:
            self.verify(asset, events)
        applied = collections.defaultdict(lambda: ([], []))
        for c in m["price_changes"]:
            asset, book = c["asset_id"], self.books.get(c["asset_id"])
            if book is None or not book["ready"]:
                continue
            if (
                asset in self.unverified
                and self.unverified[asset][0] != ts
                and self.verify(asset, events)
            ):
                continue
            side = "bids" if c["side"].upper() == "BUY" else "asks"
            p, size = price(c["price"]), price(c["size"])
            if size > 0:
                book[side][p] = size
            else:
                book[side].pop(p, None)
                size = Decimal(0)
            book["timestamp"] = ts
            applied[asset][side == "asks"].append(BookLevel(p, size))
            self.unverified[asset] = (ts, c["best_bid"], c["best_ask"])
        for asset, (bids, asks) in applied.items():
            changed = ("delta", tuple(bids), tuple(asks), *self.best(asset), ts, None)
            events.append(("book", asset, m["market"], *changed))


def replay(lines):
    model, kinds = Model(), collections.Counter()
    books, unverified, markets = {}, {}, {}
    for line in lines:
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


def test_recorded_stream_matches_model():
    kinds = replay(STREAM.read_text().splitlines())
    # The stream exercises every path.
    assert all(kinds[k] > 3 for k in ("none", "snapshot", "delta", "gap", "resynced")), kinds


@given(st.integers(0, 2**32), st.integers(5, 80))
def test_generated_streams_match_model(seed, count):
    replay(make_polymarket_stream.stream(seed, count))
