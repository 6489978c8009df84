"""Polymarket US full market data: the frame replaces the slug's book (decoding errors and their texts
are core/tests/polymarket_test.cpp's)."""

import json
from decimal import Decimal

import pytest
from orvane._core import LocalBook, polymarket_us_market_data
from orvane.ws.base import BookLevel


def levels(*pairs):
    return tuple(BookLevel(Decimal(p), Decimal(s)) for p, s in pairs)


def frame(bids=(), offers=(), slug="will-it-rain", key="marketData", **extra):
    data = {"marketSlug": slug, "bids": [{"px": p, "qty": q} for p, q in bids]}
    data["offers"] = [{"px": p, "qty": q} for p, q in offers]
    return json.dumps({key: {**data, **extra}})


def test_full_book_replaces_and_creates():
    books = {}
    bids, offers = (
        [("0.45", "10"), ("0.47", 3), ("0.46", "0")],
        [("0.55", "2"), ({"value": "0.53"}, 1)],
    )
    stats = {"lastTradePx": {"value": "0.5"}, "openInterest": 7}
    raw = frame(bids, offers, transactTime="2024-01-01T00:00:00Z", state="OPEN", stats=stats)
    assert polymarket_us_market_data(raw, books) == (
        *("will-it-rain", levels(("0.47", "3"), ("0.45", "10")), levels(("0.53", "1"), ("0.55", "2"))),
        *(Decimal("0.47"), Decimal("0.53"), "2024-01-01T00:00:00Z", "OPEN", stats),
    )  # fmt: skip
    book = books["will-it-rain"]
    assert book.ready
    book.sequence, book.timestamp = 5, 6
    book.invalidate()
    result = polymarket_us_market_data(frame(key="market_data", offers=[("0.6", "1")]), books)
    assert result == (
        "will-it-rain",
        (),
        levels(("0.6", "1")),
        None,
        Decimal("0.6"),
        None,
        None,
        None,
    )
    assert (
        books["will-it-rain"] is book and book.ready and (book.sequence, book.timestamp) == (5, 6)
    )


def test_without_a_slug_the_book_is_the_empty_texts():
    books = {}
    assert polymarket_us_market_data('{"marketData":{"bids":null}}', books)[:2] == ("", ())
    assert list(books) == [""] and books[""].ready


@pytest.mark.parametrize(
    "raw",
    [
        '{"heartbeat":null,"marketData":{"marketSlug":"s"}}',
        '{"error":"x","marketData":{"marketSlug":"s"}}',
        '{"marketData":[]}',
        '{"marketData":null,"market_data":{"marketSlug":"s"}}',
        '{"other":{}}',
        '{"marketData":{"marketSlug":"s"}} x',
        '{"marketData":{"marketSlug":"s","bids":5}}',
        '{"marketData":{"marketSlug":"s","bids":[{"px":"0.5"}]}}',
        '{"marketData":{"marketSlug":"s","offers":[{"px":"abc","qty":"1"}]}}',
        '{"marketData":{"marketSlug":["s"]}}',
        '{"marketData":{"marketSlug":"plain"}}',
    ],
)
def test_none_leaves_books_unchanged(raw):
    books = {"s": LocalBook(), "plain": {"bids": {}}}
    books["s"].replace([("0.4", "1")], [])
    books["s"].sequence = 9
    before = (books["s"].levels(), books["s"].ready, books["s"].sequence, dict(books["plain"]))
    assert polymarket_us_market_data(raw, books) is None
    assert (books["s"].levels(), books["s"].ready, books["s"].sequence, books["plain"]) == before
    assert list(books) == ["s", "plain"]
