"""Kalshi book messages and Opinion depth changes on plain dict books: raw frame text to the event
tuple the stream layer publishes."""

import json
from decimal import Decimal

from orvane.ws.base import BookLevel

ONE = Decimal(1)
ZERO = Decimal(0)


class Book:
    def __init__(self):
        self.bids: dict[Decimal, Decimal] = {}
        self.asks: dict[Decimal, Decimal] = {}
        self.ready = False
        self.sequence = None
        self.timestamp = None


def best(bids, asks):
    return (max(bids) if bids else None), (min(asks) if asks else None)


def ordered(levels, descending):
    return tuple(BookLevel(p, levels[p]) for p in sorted(levels, reverse=descending))


def change(book, is_bids, price, delta, *, add):
    """Adds `delta` to (or sets it as) the level's size; one left at zero or below goes. An equal
    price already there keeps its spelling, as a dict keeps its first key."""
    levels = book.bids if is_bids else book.asks
    size = levels.get(price, ZERO) + delta if add else delta
    if size > 0:
        levels[price] = size
    else:
        levels.pop(price, None)
        size = ZERO
    changed = (BookLevel(price, size),)
    return ((changed, ()) if is_bids else ((), changed)) + best(book.bids, book.asks)


def kalshi_book_message(raw, books, loads=json.loads):
    """A snapshot or delta applied to `books` (ticker -> Book); None for any other frame, and for a
    delta to a book that is missing or not ready (which records the delta's sequence)."""
    frame = loads(raw)
    kind = frame.get("type")
    if kind not in ("orderbook_snapshot", "orderbook_delta"):
        return None
    msg = frame.get("msg") or {}
    ticker = msg.get("market_ticker") or ""
    seq = frame.get("seq")
    if kind == "orderbook_snapshot":
        # A NO bid at p is a YES ask at 1 - p.
        yes = [(Decimal(p), Decimal(s)) for p, s in msg.get("yes_dollars_fp") or ()]
        no = [(ONE - Decimal(p), Decimal(s)) for p, s in msg.get("no_dollars_fp") or ()]
        book = books.get(ticker)
        if book is None:
            book = books[ticker] = Book()
        recovering = not book.ready and book.sequence is not None
        book.bids = {p: s for p, s in yes if s > 0}
        book.asks = {p: s for p, s in no if s > 0}
        book.ready, book.sequence = True, seq
        bids, asks = ordered(book.bids, True), ordered(book.asks, False)
        info = {"market_id": msg.get("market_id")}
        return ("snapshot", ticker, recovering, bids, asks, *best(book.bids, book.asks), info)
    price, delta = Decimal(msg["price_dollars"]), Decimal(msg["delta_fp"])
    yes = msg.get("side") == "yes"
    if not yes:
        price = ONE - price
    book = books.get(ticker)
    if book is None:
        return None
    if not book.ready:
        book.sequence = seq
        return None
    event = change(book, yes, price, delta, add=True)
    book.sequence, book.timestamp = seq, msg.get("ts_ms")
    info = {"client_order_id": msg["client_order_id"]} if msg.get("client_order_id") else {}
    return ("delta", ticker, *event, book.timestamp, info)


def opinion_depth(raw, book, loads=json.loads):
    """A depth change set on `book`, whichever the caller picked; None for any other frame."""
    frame = loads(raw)
    if frame.get("msgType") != "market.depth.diff":
        return None
    side = frame.get("side")
    is_bids = isinstance(side, str) and side.lower() == "bids"
    price, size = Decimal(str(frame["price"])), Decimal(str(frame["size"]))
    return change(book, is_bids, price, size, add=False)
