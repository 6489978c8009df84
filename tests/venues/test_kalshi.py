"""Kalshi book messages: raw frame text to event tuples, against the books the caller keeps (decoding
errors and their texts are core/tests/kalshi_test.cpp's)."""

import json
from decimal import Decimal

import pytest
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import LocalBook, kalshi_book_message

from reference import kalshi as reference


def frame(kind, seq, **msg) -> str:
    msg = {"market_ticker": "T", **msg}
    return json.dumps({"type": f"orderbook_{kind}", "seq": seq, "msg": msg})


def snap(yes=(), no=(), seq=1, **msg) -> str:
    return frame("snapshot", seq, yes_dollars_fp=list(yes), no_dollars_fp=list(no), **msg)


def delta(price="0.45", side="yes", seq=2, change="5", **msg) -> str:
    return frame("delta", seq, price_dollars=price, delta_fp=change, side=side, **msg)


def run(raw, books):
    return kalshi_book_message(raw, books).apply(books)


def ready_books() -> dict:
    books = {}
    run(snap([["0.40", "3"]], [["0.50", "4"]]), books)
    return books


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


def test_delta_event_fields():
    books = ready_books()
    event = run(delta(ts_ms=1700000000123, client_order_id=[1]), books)
    assert event[6:] == (1700000000123, {"client_order_id": [1]})
    assert (books["T"].sequence, books["T"].timestamp) == (2, 1700000000123)
    assert run(delta(client_order_id=""), books)[7] == {}  # a falsy id gives no entry
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
# Only the exact text "yes" is the YES side.
deltas = st.lists(
    st.tuples(st.sampled_from(["yes", "no", "YES"]), prices, st.integers(-6, 6).map(Decimal)),
    max_size=6,
)


@given(sides, sides, deltas, st.sampled_from([None, "m"]))
def test_stream_matches_the_model(yes, no, changes, market_id):
    books, model = {}, {}
    wire = [[[str(p), str(s)] for p, s in pairs] for pairs in (yes, no)]
    raws = [snap(*wire, market_id=market_id)]
    raws += [delta(str(p), side, seq, str(c)) for seq, (side, p, c) in enumerate(changes, 2)]
    for raw in raws:
        # repr shows each Decimal's digits: equal prices keep their first spelling, NO prices
        # their scale
        assert repr(run(raw, books)) == repr(reference.kalshi_book_message(raw, model))
    book, expected = books["T"], model["T"]
    assert repr(book.levels()) == repr(
        (reference.ordered(expected.bids, True), reference.ordered(expected.asks, False))
    )
    assert (book.sequence, book.timestamp) == (expected.sequence, expected.timestamp)
