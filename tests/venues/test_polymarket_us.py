"""Polymarket US full market data: the frame replaces the slug's book (decoding errors and their texts
are core/tests/venues/venues_test.cpp's)."""

import json

import pytest
from fuzz_decoders import image
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import LocalBook, polymarket_us_market_data

from reference import polymarket as reference


def frame(bids=(), offers=(), slug="will-it-rain", key="marketData", **extra):
    data = {"marketSlug": slug, "bids": [{"px": p, "qty": q} for p, q in bids]}
    data["offers"] = [{"px": p, "qty": q} for p, q in offers]
    return json.dumps({key: {**data, **extra}})


# Prices and sizes as the venue may send them: text in several spellings, numbers, and a price in
# a {"value": ...} wrapper; sizes of zero or below leave no level.
texts = st.decimals(0, 2, places=3).map(str) | st.sampled_from(["0.5", "0.50", "0", "-1", "1e-2"])
amounts = texts | st.integers(-1, 3) | st.floats(0, 2, allow_nan=False).map(lambda f: round(f, 4))
prices = amounts | texts.map(lambda text: {"value": text})
sides = st.lists(st.tuples(prices, amounts), max_size=6)


keys, slugs = st.sampled_from(["marketData", "market_data"]), st.sampled_from(["s", None])


@given(sides, sides, keys, st.booleans(), slugs)
def test_full_book_against_the_model(bids, offers, key, existing, slug):
    books, model_books, name = {}, {}, slug or ""  # without a slug, the book of the empty text
    if existing:  # an invalidated book is reused, ready again, its other fields kept
        books[name] = LocalBook()
        books[name].sequence = 5
        books[name].invalidate()
    raw = frame(bids, offers, slug=slug, key=key, state="OPEN", stats={"openInterest": 7})
    got = polymarket_us_market_data(raw, books)
    want = reference.us_market_data(raw.replace(key, "marketData"), model_books)
    assert repr(got) == repr(want)  # digits and exponents too, as BookLevel's repr shows them
    book = books[name]
    assert book.ready and book.sequence == (5 if existing else None)
    assert book.bids == model_books[name]["bids"] and book.asks == model_books[name]["asks"]


@pytest.mark.parametrize(
    "raw",
    [
        '{"heartbeat":null,"marketData":{"marketSlug":"s"}}',
        '{"marketData":[]}',
        '{"marketData":null,"market_data":{"marketSlug":"s"}}',
        '{"other":{}}',
        '{"marketData":{"marketSlug":"s","bids":5}}',
        '{"marketData":{"marketSlug":"s","offers":[{"px":"abc","qty":"1"}]}}',
        '{"marketData":{"marketSlug":["s"]}}',
        '{"marketData":{"marketSlug":"plain"}}',
    ],
)
def test_none_leaves_books_unchanged(raw):
    books = {"s": LocalBook(), "plain": {"bids": {}}}
    books["s"].replace([("0.4", "1")], [])
    books["s"].sequence = 9
    before = image((books, None, None))
    assert polymarket_us_market_data(raw, books) is None
    assert image((books, None, None)) == before
