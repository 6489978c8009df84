"""Kalshi book messages: raw frame text to event tuples, against the books the caller keeps (decoding
errors and their texts are core/tests/kalshi_test.cpp's)."""

import json
from decimal import Decimal

import pytest
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import LocalBook, kalshi_book_message
from orvane.ws.base import BookLevel


def frame(kind, seq, **msg) -> str:
    msg = {"market_ticker": "T", **msg}
    return json.dumps({"type": f"orderbook_{kind}", "seq": seq, "msg": msg})


def snap(yes=(), no=(), seq=1, **msg) -> str:
    return frame("snapshot", seq, yes_dollars_fp=list(yes), no_dollars_fp=list(no), **msg)


def delta(price="0.45", side="yes", seq=2, change="5", **msg) -> str:
    return frame("delta", seq, price_dollars=price, delta_fp=change, side=side, **msg)


def levels(*pairs) -> tuple:
    return tuple(BookLevel(Decimal(p), Decimal(s)) for p, s in pairs)


def run(raw, books):
    return kalshi_book_message(raw, books).apply(books)


def ready_books() -> dict:
    books = {}
    run(snap([["0.40", "3"]], [["0.50", "4"]]), books)
    return books


def test_snapshot_event_complements_no_side_keeping_scale():
    books = {}
    raw = snap([["0.43", "5.00"], ["0.42", "0"]], [["0.4500", "10"], [0.3, 1]], market_id="m")
    message = kalshi_book_message(raw, books)
    assert books == {}  # decoding changes nothing
    assert message.apply(books) == (
        *("snapshot", "T", False, levels(("0.43", "5.00")), levels(("0.5500", "10"), ("0.7", "1"))),
        *(Decimal("0.43"), Decimal("0.5500"), {"market_id": "m"}),
    )
    assert str(books["T"].best_ask) == "0.5500"
    assert (books["T"].ready, books["T"].sequence, books["T"].timestamp) == (True, 1, None)
    assert run(snap(market_ticker="U"), books)[3:] == ((), (), None, None, {"market_id": None})


def test_not_ready_book_records_delta_sequence_then_snapshot_recovers():
    books = ready_books()
    book = books["T"]
    book.invalidate()
    before = book.levels()
    assert run(delta(seq=9), books) is None
    assert (book.sequence, book.levels(), book.ready, book.timestamp) == (9, before, False, None)
    assert run(snap(), books)[2] is True and book.ready and book.sequence == 1
    books["U"] = LocalBook()  # never had a sequence: not recovering
    assert run(snap(market_ticker="U"), books)[2] is False


# Only the exact text "yes" is the YES side; a falsy client_order_id gives no info entry.
@pytest.mark.parametrize(
    ("side", "extra", "bids", "asks", "best_bid", "info"),
    [
        ("yes", {}, levels(("0.45", "5")), (), "0.45", {}),
        ("YES", {"client_order_id": ""}, (), levels(("0.55", "5")), "0.40", {}),
        ("yes", {"client_order_id": [1]}, levels(("0.45", "5")), (), "0.45", {"client_order_id": [1]}),
    ],
)  # fmt: skip
def test_delta_event(side, extra, bids, asks, best_bid, info):
    books = ready_books()
    message = kalshi_book_message(delta(side=side, ts_ms=1700000000123, **extra), books)
    event = message.apply(books)
    assert event == (
        "delta",
        "T",
        bids,
        asks,
        Decimal(best_bid),
        Decimal("0.50"),
        1700000000123,
        info,
    )
    assert (books["T"].sequence, books["T"].timestamp) == (2, 1700000000123)
    again = message.apply(books)  # adds every time
    assert (again[2] or again[3])[0].size == 10


def test_delta_removing_a_level_and_missing_ticker():
    books = ready_books()
    event = run(delta(price="0.40", change="-3"), books)
    assert event[2] == levels(("0.40", "0")) and str(event[2][0].size) == "0" and event[4] is None
    assert run(delta(market_ticker="X"), books) is None and list(books) == ["T"]


def test_message_fields_are_read_only():
    message = kalshi_book_message(snap(seq="17"), {})
    assert (message.seq, message.seq_number, message.sid, message.kind) == (
        *("17", 17, None, "orderbook_snapshot"),
    )
    with pytest.raises(AttributeError):
        message.seq = 1


def test_entry_that_is_not_a_local_book():
    books = {"T": {}}
    assert kalshi_book_message(snap(), books) is None
    for message in (kalshi_book_message(delta(), {}), kalshi_book_message(snap(), {})):
        with pytest.raises(TypeError, match="^'dict' object is not an instance of 'LocalBook'$"):
            message.apply(books)
    assert books == {"T": {}}


def test_lookup_errors_propagate():
    class Collides:  # a key whose hash meets the ticker's and whose comparison fails
        __hash__ = lambda self: hash("T")
        __eq__ = lambda self, other: 1 / 0

    books = {Collides(): 1}
    with pytest.raises(ZeroDivisionError):
        kalshi_book_message(snap(), books)
    with pytest.raises(ZeroDivisionError):
        kalshi_book_message(snap(), {}).apply(books)
    assert len(books) == 1


# Prices 0.01..0.99 written with 2 to 4 fractional digits, so equal prices come in several spellings.
prices = st.builds(
    lambda cents, extra: Decimal(cents).scaleb(-2).quantize(Decimal(1).scaleb(-2 - extra)),
    st.integers(1, 99),
    st.integers(0, 2),
)
sides = st.lists(st.tuples(prices, st.integers(-1, 5).map(Decimal)), max_size=8)


def model(pairs, reverse) -> list:
    """The Python book: positive sizes only, a later equal price keeps the first key's spelling."""
    side = {}
    for price, size in pairs:
        if size > 0:
            side[next((k for k in side if k == price), price)] = size
    return [(str(p), str(side[p])) for p in sorted(side, reverse=reverse)]


@given(sides, sides)
def test_snapshot_matches_a_decimal_model(yes, no):
    event = run(snap([[str(p), str(s)] for p, s in yes], [[str(p), str(s)] for p, s in no]), {})
    assert [(str(v.price), str(v.size)) for v in event[3]] == model(yes, True)
    assert [(str(v.price), str(v.size)) for v in event[4]] == model(
        ((1 - p, s) for p, s in no), False
    )
