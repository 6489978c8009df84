"""Kalshi snapshots and deltas and Opinion depth changes, raw text to event tuple, against the
pure-Python way: orjson, decimal.Decimal, dict books and BookLevel records."""

import json
import pathlib
import random
import sys
from decimal import Decimal

import orjson

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from common import compare
from orvane._core import LocalBook, kalshi_book_message, opinion_depth
from orvane.ws.base import BookLevel

ONE = Decimal(1)
ZERO = Decimal(0)


class PythonBook:
    def __init__(self):
        self.bids: dict[Decimal, Decimal] = {}
        self.asks: dict[Decimal, Decimal] = {}
        self.ready = False
        self.sequence = None
        self.timestamp = None


def best(bids, asks):
    return (max(bids) if bids else None), (min(asks) if asks else None)


def python_kalshi(raw, books):
    frame = orjson.loads(raw)
    kind = frame.get("type")
    if kind not in ("orderbook_snapshot", "orderbook_delta"):
        return None
    msg = frame.get("msg") or {}
    ticker = msg.get("market_ticker") or ""
    seq = frame.get("seq")
    if kind == "orderbook_snapshot":
        yes = [(Decimal(p), Decimal(s)) for p, s in msg.get("yes_dollars_fp") or ()]
        no = [(ONE - Decimal(p), Decimal(s)) for p, s in msg.get("no_dollars_fp") or ()]
        book = books.get(ticker)
        if book is None:
            book = books[ticker] = PythonBook()
        recovering = not book.ready and book.sequence is not None
        book.bids = {p: s for p, s in yes if s > 0}
        book.asks = {p: s for p, s in no if s > 0}
        book.ready, book.sequence = True, seq
        bids = tuple(BookLevel(p, book.bids[p]) for p in sorted(book.bids, reverse=True))
        asks = tuple(BookLevel(p, book.asks[p]) for p in sorted(book.asks))
        info = {"market_id": msg.get("market_id")}
        return ("snapshot", ticker, recovering, bids, asks, *best(book.bids, book.asks), info)
    price, change = Decimal(msg["price_dollars"]), Decimal(msg["delta_fp"])
    yes = msg.get("side") == "yes"
    if not yes:
        price = ONE - price
    book = books.get(ticker)
    if book is None:
        return None
    if not book.ready:
        book.sequence = seq
        return None
    levels = book.bids if yes else book.asks
    size = levels.get(price, ZERO) + change
    if size > 0:
        levels[price] = size
    else:
        levels.pop(price, None)
        size = ZERO
    book.sequence, book.timestamp = seq, msg.get("ts_ms")
    changed = (BookLevel(price, size),)
    info = {"client_order_id": msg["client_order_id"]} if msg.get("client_order_id") else {}
    bids, asks = (changed, ()) if yes else ((), changed)
    return ("delta", ticker, bids, asks, *best(book.bids, book.asks), book.timestamp, info)


def python_opinion(raw, book):
    frame = orjson.loads(raw)
    if frame.get("msgType") != "market.depth.diff":
        return None
    side = frame.get("side")
    is_bids = isinstance(side, str) and side.lower() == "bids"
    price, size = Decimal(str(frame["price"])), Decimal(str(frame["size"]))
    levels = book.bids if is_bids else book.asks
    if size > 0:
        levels[price] = size
    else:
        levels.pop(price, None)
        size = ZERO
    changed = (BookLevel(price, size),)
    bids, asks = (changed, ()) if is_bids else ((), changed)
    return (bids, asks, *best(book.bids, book.asks))


def snapshot_text(count, rng):
    def side(start):
        return [[f"{(start + i) / 1000:.4f}", f"{rng.randint(1, 5000)}.00"] for i in range(count)]

    msg = {
        "market_ticker": "KXBTC-25DEC31-T100000",
        "market_id": "9f1c2e7a",
        "yes_dollars_fp": side(1),
        "no_dollars_fp": side(500),
    }
    return json.dumps({"type": "orderbook_snapshot", "sid": 7, "seq": 1, "msg": msg})


DELTA = json.dumps(
    {
        "type": "orderbook_delta",
        "sid": 7,
        "seq": 2,
        "msg": {
            "market_ticker": "KXBTC-25DEC31-T100000",
            "market_id": "9f1c2e7a",
            "price_dollars": "0.0420",
            "delta_fp": "12.00",
            "side": "yes",
            "ts_ms": 1765000000123,
        },
    }
)

OPINION = json.dumps(
    {
        "msgType": "market.depth.diff",
        "marketId": 4012,
        "tokenId": "8123945762109384756120938475612093847561",
        "outcomeSide": 1,
        "side": "bids",
        "price": "0.457",
        "size": "1520.5",
    }
)


def main():
    rng = random.Random(1)
    ours_books, python_books = {}, {}
    ratios = {}
    for count in (10, 100):
        raw = snapshot_text(count, rng)
        assert kalshi_book_message(raw, ours_books).apply(ours_books) == python_kalshi(
            raw, python_books
        )
        ratios[f"snapshot{count}"] = compare(
            f"kalshi snapshot, {count} levels a side",
            lambda raw=raw: kalshi_book_message(raw, ours_books).apply(ours_books),
            lambda raw=raw: python_kalshi(raw, python_books),
            number=200 if count == 100 else 2000,
        )
    # The delta lands on the 100-level book left by the last snapshot.
    ours_event = kalshi_book_message(DELTA, ours_books).apply(ours_books)
    python_event = python_kalshi(DELTA, python_books)
    assert ours_event[2:6] == python_event[2:6], (ours_event, python_event)
    ratios["delta"] = compare(
        "kalshi delta on a 100-level book",
        lambda: kalshi_book_message(DELTA, ours_books).apply(ours_books),
        lambda: python_kalshi(DELTA, python_books),
        number=20000,
    )

    ours_book, python_book = LocalBook(), PythonBook()
    for i in range(100):
        ours_book.set("bid", Decimal(i + 1) / 1000, 5)
        ours_book.set("ask", Decimal(i + 500) / 1000, 5)
        python_book.bids[Decimal(i + 1) / 1000] = Decimal(5)
        python_book.asks[Decimal(i + 500) / 1000] = Decimal(5)
    assert opinion_depth(OPINION).apply(ours_book) == python_opinion(OPINION, python_book)
    ratios["opinion"] = compare(
        "opinion change on a 100-level book",
        lambda: opinion_depth(OPINION).apply(ours_book),
        lambda: python_opinion(OPINION, python_book),
        number=20000,
    )
    return ratios


if __name__ == "__main__":
    main()
