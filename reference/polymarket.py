"""Polymarket's market channel on plain dicts: snapshots, deltas, the pending best-price checks and
their gaps, and Polymarket US market data."""

import json
from decimal import Decimal

from orvane.ws.base import BookLevel


def price(value):
    if type(value) is dict:  # Polymarket US may wrap a number: {"value": "0.53"}
        value = value["value"]
    if type(value) is str:
        return Decimal(value) if value else None
    if value is None:
        return None
    return Decimal(repr(value) if isinstance(value, float) else value)


def agrees(local, venue):
    if venue is None:
        return True
    return local == venue if local is not None else venue in (0, 1)


def ordered(levels, descending):
    return tuple(BookLevel(p, s) for p, s in sorted(levels.items(), reverse=descending))


class Market:
    """The handler's rules: books are asset -> {"bids", "asks", "ready", "timestamp"} dicts; a call
    takes one frame's text and gives its events, or None for a frame it does not take."""

    def __init__(self, loads=json.loads):
        self.loads = loads
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
            frame = self.loads(raw)
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
            levels = book[side] = {}
            for level in m[side]:
                size = price(level["size"])
                if size > 0:
                    levels[price(level["price"])] = size
        book.update(ready=True, timestamp=ts)
        self.unverified.pop(asset, None)
        if resynced:
            events.append(("resynced", asset))
        bids, asks = ordered(book["bids"], True), ordered(book["asks"], False)
        extra = {k: m.get(k) for k in ("hash", "tick_size", "last_trade_price")}
        events.append(
            ("book", asset, m["market"], "snapshot", bids, asks, *self.best(asset), ts, extra)
        )

    def price_change(self, m, ts, events):
        # A check pending for more than 500 ms is settled before this frame's changes.
        for asset in [a for a, entry in self.unverified.items() if ts - entry[0] > 500]:
            self.verify(asset, events)
        applied = {}
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
            applied.setdefault(asset, ([], []))[side == "asks"].append(BookLevel(p, size))
            self.unverified[asset] = (ts, c["best_bid"], c["best_ask"])
        for asset, (bids, asks) in applied.items():
            changed = ("delta", tuple(bids), tuple(asks), *self.best(asset), ts, None)
            events.append(("book", asset, m["market"], *changed))


def us_market_data(raw, books, loads=json.loads):
    """One Polymarket US frame: its book replaced in `books` (slug -> {"bids", "asks"})."""
    data = loads(raw)["marketData"]
    slug = data.get("marketSlug") or ""  # without one, the book of the empty text
    book = books.setdefault(slug, {})
    for side, key in (("bids", "bids"), ("asks", "offers")):
        levels = book[side] = {}
        for level in data[key]:
            size = price(level["qty"])
            if size > 0:
                levels[price(level["px"])] = size
    best = (max(book["bids"], default=None), min(book["asks"], default=None))
    bids, asks = ordered(book["bids"], True), ordered(book["asks"], False)
    state = (data.get("transactTime"), data.get("state"), data.get("stats"))
    return slug, bids, asks, *best, *state
