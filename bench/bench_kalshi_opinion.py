"""Kalshi snapshots and deltas and Opinion depth changes, raw text to event tuple, against the
pure-Python way: orjson, decimal.Decimal, dict books and BookLevel records."""

import json
import pathlib
import random
import sys
from decimal import Decimal

import orjson

sys.path.insert(0, str(pathlib.Path(__file__).parent))
sys.path.insert(1, str(pathlib.Path(__file__).parent.parent))
from common import compare
from orvane._core import LocalBook, kalshi_book_message, opinion_depth

from reference import kalshi as reference


def python_kalshi(raw, books):
    return reference.kalshi_book_message(raw, books, orjson.loads)


def python_opinion(raw, book):
    return reference.opinion_depth(raw, book, orjson.loads)


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

    ours_book, python_book = LocalBook(), reference.Book()
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
