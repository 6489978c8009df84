"""Polymarket market channel and Polymarket US market data: raw frame text to events, against the
pure-Python way (orjson, decimal.Decimal, dict books, BookLevel records)."""

import pathlib
import random
import sys
import timeit
from decimal import Decimal

import orjson

sys.path.insert(0, str(pathlib.Path(__file__).parent))
sys.path.insert(1, str(pathlib.Path(__file__).parent.parent))
from common import record
from orvane._core import LocalBook, polymarket_market, polymarket_us_market_data

from reference import polymarket as reference

REPEAT, NUMBER = 7, 2000
ASSET = "71321045679252212594626385532706912750332728571942532289631379312455583992563"
OTHER = "52114319501245915516055106046884209969926127482827954674443846427813813222426"
MARKET = "0x5f65177b394277fd294cd75650044e32ba009a95022d88a0c1d565897d72f8f1"
T0 = 1_717_000_000_000


def python_us(raw, books):
    return reference.us_market_data(raw, books, orjson.loads)


def ladder(rng, low, count, descending):
    """Levels as the venue sends them: bids from the lowest price up, asks from the highest down."""
    prices = sorted(rng.sample(range(low, low + 400), count), reverse=descending)
    return [(f"0.{p:03d}", f"{rng.randint(1, 500000) / 100:.2f}") for p in prices]


def frames():
    """A snapshot of each outcome token of a market, two price_change frames of 5 changes across both
    (with the best prices the venue would report, one 1 ms after the other, so that each frame
    verifies the other's pending checks) and a Polymarket US frame."""
    rng = random.Random(7)
    books, snapshots, ladders = {}, [], None
    for asset in (ASSET, OTHER):
        bids, asks = ladder(rng, 100, 100, False), ladder(rng, 500, 100, True)
        ladders = ladders or (bids, asks)
        books[asset] = ({Decimal(p): s for p, s in bids}, {Decimal(p): s for p, s in asks})
        snapshots.append(
            {
                "event_type": "book",
                "asset_id": asset,
                "market": MARKET,
                "timestamp": str(T0),
                "hash": "0x1fd0a4b1c6d2e8",
                "bids": [{"price": p, "size": s} for p, s in bids],
                "asks": [{"price": p, "size": s} for p, s in asks],
            }
        )
    changes = []
    for asset, side, price, size in [
        (ASSET, "BUY", "0.450", "120.5"),
        (ASSET, "BUY", "0.451", "0"),
        (ASSET, "SELL", "0.550", "33"),
        (OTHER, "SELL", "0.551", "12.25"),
        (OTHER, "BUY", "0.300", "5000"),
    ]:
        bids, asks = books[asset]
        levels = bids if side == "BUY" else asks
        if Decimal(size) > 0:
            levels[Decimal(price)] = size
        else:
            levels.pop(Decimal(price), None)
        best = {"best_bid": str(max(bids)), "best_ask": str(min(asks))}
        changes.append({"asset_id": asset, "side": side, "price": price, "size": size, **best})
    change_frames = [
        {
            "event_type": "price_change",
            "market": MARKET,
            "timestamp": str(T0 + i),
            "price_changes": changes,
        }
        for i in (1, 2)
    ]
    us = {
        "marketData": {
            "marketSlug": "nba-lal-bos-2025-01-01",
            "bids": [{"px": p, "qty": s} for p, s in ladders[0]],
            "offers": [{"px": p, "qty": s} for p, s in ladders[1]],
            "state": "MARKET_STATE_OPEN",
            "transactTime": "2025-01-01T00:00:00.000Z",
        }
    }
    texts = [orjson.dumps(x).decode() for x in (*snapshots, *change_frames, us)]
    return texts[:2], texts[2:4], texts[4]


def best_us(run):
    return min(timeit.repeat(run, repeat=REPEAT, number=NUMBER)) / NUMBER * 1e6


def report(case, ours, python):
    record(case, ours, python)


def main():
    snapshots, changes, us_raw = frames()
    state = ({}, {}, {})
    handler = reference.Market(orjson.loads)
    for raw in snapshots:
        polymarket_market(raw, *state)
        handler(raw)
    # Both sides must agree before they are timed, and no frame may find a gap.
    for raw in changes * 2:
        events = polymarket_market(raw, *state)
        assert events == handler(raw) and [e[3] for e in events] == ["delta", "delta"]
    first, second = changes
    report(
        "price_change 5 changes",
        best_us(lambda: (polymarket_market(first, *state), polymarket_market(second, *state))) / 2,
        best_us(lambda: (handler(first), handler(second))) / 2,
    )
    book_raw = snapshots[0]
    assert polymarket_market(book_raw, *state) == handler(book_raw)
    report(
        "book 100+100 levels",
        best_us(lambda: polymarket_market(book_raw, *state)),
        best_us(lambda: handler(book_raw)),
    )
    books, py_books = {}, {}
    ours = polymarket_us_market_data(us_raw, books)
    assert ours == python_us(us_raw, py_books) and isinstance(books[ours[0]], LocalBook)
    report(
        "us market data 100+100",
        best_us(lambda: polymarket_us_market_data(us_raw, books)),
        best_us(lambda: python_us(us_raw, py_books)),
    )


if __name__ == "__main__":
    main()
