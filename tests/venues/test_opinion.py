"""Opinion depth changes: raw frame text to the delta event, applied to the book the caller picks
(decoding errors are core/tests/opinion_test.cpp's)."""

import json
from decimal import Decimal

import pytest
from orvane._core import LocalBook, opinion_depth
from orvane.ws.base import BookLevel


def change(**members) -> str:
    body = {"msgType": "market.depth.diff", "price": 0.45, "size": "10", **members}
    return json.dumps({k: v for k, v in body.items() if v is not ...})


@pytest.mark.parametrize(
    ("side", "token", "on_bids"),
    [("bids", "a", True), ("BIDS", 7, True), ("bid", None, False), (["bids"], ..., False)],
)
def test_event(side, token, on_bids):
    book = LocalBook()  # not ready: changed all the same
    book.set("ask", "0.60", "1")
    message = opinion_depth(change(side=side, tokenId=token))
    assert message.token == ("" if token in (None, ...) else str(token))
    level = (BookLevel(Decimal("0.45"), Decimal(10)),)
    if on_bids:
        expected = (level, (), Decimal("0.45"), Decimal("0.60"))
    else:
        expected = ((), level, None, Decimal("0.45"))
    assert message.apply(book) == expected
    assert message.apply(book) == expected  # applying twice leaves the book as once
    assert len(book.levels()[0 if on_bids else 1]) == (1 if on_bids else 2)


@pytest.mark.parametrize("size", ["0", "-1", 0])
def test_non_positive_size_removes_the_level_and_reports_zero(size):
    book = LocalBook()
    opinion_depth(change(side="bids")).apply(book)
    bids, asks, best_bid, best_ask = opinion_depth(change(side="bids", size=size)).apply(book)
    assert str(bids[0].size) == "0" and bids[0].price == Decimal("0.45")
    assert (asks, best_bid, best_ask, book.levels()) == ((), None, None, ((), ()))


@pytest.mark.parametrize(
    "raw",
    [change()[:-1], change(size=...), change(tokenId=[1]), change()[:-1] + ', "x": "\udc80"}'],
)
def test_refused_frames(raw):
    assert opinion_depth(raw) is None
