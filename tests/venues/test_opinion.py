"""Opinion depth changes: raw frame text to the delta event, applied to the book the caller picks,
against the pure-Python model (decoding errors are core/tests/venues/venues_test.cpp's)."""

import json

import pytest
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import LocalBook, opinion_depth

from reference import kalshi as reference


def change(**members) -> str:
    body = {"msgType": "market.depth.diff", "price": 0.45, "size": "10", **members}
    return json.dumps({k: v for k, v in body.items() if v is not ...})


# "side" is read case-insensitively and only "bids" is the bid side; prices and sizes come as
# text or numbers, and a size of zero or below removes the level.
sides = st.sampled_from(["bids", "BIDS", "Bids", "bid", ["bids"], "asks", None])
prices = st.sampled_from([0.45, "0.45", "0.450", 0.5, "0.55", 1])
sizes = st.sampled_from(["10", 10, 2.5, "0", 0, "-1"])


# A token is read as text; a missing or null one is "".
tokens = st.sampled_from([("a", "a"), (7, "7"), (None, ""), (..., "")])


@given(st.lists(st.tuples(sides, prices, sizes, tokens), max_size=8))
def test_changes_match_the_model(changes):
    book, model = LocalBook(), reference.Book()  # not ready: changed all the same
    for side, price, size, (token, text) in changes:
        raw = change(side=side, price=price, size=size, tokenId=token)
        assert opinion_depth(raw).token == text
        assert repr(opinion_depth(raw).apply(book)) == repr(reference.opinion_depth(raw, model))
    expected = (reference.ordered(model.bids, True), reference.ordered(model.asks, False))
    assert repr(book.levels()) == repr(expected)


@pytest.mark.parametrize(
    "raw",
    [change()[:-1], change(size=...), change(tokenId=[1]), change()[:-1] + ', "x": "\udc80"}'],
)
def test_refused_frames(raw):
    assert opinion_depth(raw) is None
