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


def image(books):
    return {
        k: (v.levels(), v.ready, v.sequence, v.timestamp) if isinstance(v, LocalBook) else dict(v)
        for k, v in books.items()
    }


def test_full_book_replaces_and_creates():
    books = {}
    result = polymarket_us_market_data(
        frame(
            [("0.45", "10"), ("0.47", 3), ("0.46", "0")],
            [("0.55", "2"), ({"value": "0.53"}, 1)],
            transactTime="2024-01-01T00:00:00Z",
            state="MARKET_STATE_OPEN",
            stats={"lastTradePx": {"value": "0.5"}, "openInterest": 7},
        ),
        books,
    )
    assert result == (
        "will-it-rain",
        levels(("0.47", "3"), ("0.45", "10")),
        levels(("0.53", "1"), ("0.55", "2")),
        Decimal("0.47"),
        Decimal("0.53"),
        "2024-01-01T00:00:00Z",
        "MARKET_STATE_OPEN",
        {"lastTradePx": {"value": "0.5"}, "openInterest": 7},
    )
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


def test_level_list_shapes():
    books = {}
    for bids in ('""', "null"):
        raw = '{"marketData":{"marketSlug":"s","bids":BIDS,"offers":[{"px":"0.5","qty":"1"}]}}'
        raw = raw.replace("BIDS", bids)
        assert polymarket_us_market_data(raw, books)[1] == ()
    # Without a slug the book is the one under the empty text.
    assert polymarket_us_market_data('{"marketData":{}}', books)[0] == ""
    assert set(books) == {"s", ""}


@pytest.mark.parametrize(
    "raw",
    [
        '{"heartbeat":{}}',
        '{"heartbeat":null,"marketData":{"marketSlug":"s"}}',
        '{"error":"x","marketData":{"marketSlug":"s"}}',
        '{"marketData":[]}',
        '{"marketData":null,"market_data":{"marketSlug":"s"}}',
        '{"other":{}}',
        "[]",
        "",
        '{"marketData":{"marketSlug":"s"}} x',
        '{"marketData":{"marketSlug":"s","bids":"x"}}',
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
    before = image(books)
    assert polymarket_us_market_data(raw, books) is None
    assert image(books) == before


def test_arguments():
    with pytest.raises(TypeError) as raised:
        polymarket_us_market_data("{}", [])
    assert str(raised.value) == "'list' object is not an instance of 'dict'"
    assert raised.value.__notes__ == ["while processing 'books'"]
    with pytest.raises(TypeError, match="^polymarket_us_market_data\\(\\) missing 1 required"):
        polymarket_us_market_data(raw="{}")
    assert polymarket_us_market_data.__text_signature__ == "(raw, books)"
    assert "(slug, bids, asks, best_bid, best_ask, transact_time, state, stats)" in (
        polymarket_us_market_data.__doc__
    )
