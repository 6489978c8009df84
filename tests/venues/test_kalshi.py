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


def put(side, price, size, snapshot=True):
    """The Python book: a later equal price keeps the first key's spelling; a snapshot skips
    non-positive sizes, a delta that leaves one removes the level."""
    key = next((k for k in side if k == price), price)
    if size > 0:
        side[key] = size
    elif not snapshot:
        side.pop(key, None)


def model_levels(side, reverse):
    return [(str(p), str(side[p])) for p in sorted(side, reverse=reverse)]


def texts(levels):
    return [(str(v.price), str(v.size)) for v in levels]


@given(sides, sides, deltas, st.sampled_from([None, "m"]))
def test_stream_matches_a_decimal_model(yes, no, changes, market_id):
    bids, asks, books = {}, {}, {}
    for price, size in yes:
        put(bids, price, size)
    for price, size in no:  # NO bids are asks at the complement, keeping the price's scale
        put(asks, 1 - price, size)
    wire = [[[str(p), str(s)] for p, s in pairs] for pairs in (yes, no)]
    event = run(snap(*wire, market_id=market_id), books)
    assert event[:3] == ("snapshot", "T", False) and event[7] == {"market_id": market_id}
    assert texts(event[3]) == model_levels(bids, True)
    assert texts(event[4]) == model_levels(asks, False)
    assert event[5:7] == (max(bids, default=None), min(asks, default=None))
    for seq, (side, price, change) in enumerate(changes, 2):
        levels, key = (bids, price) if side == "yes" else (asks, 1 - price)
        size = levels.get(key, 0) + change
        put(levels, key, size, snapshot=False)
        event = run(delta(str(price), side, seq, str(change)), books)
        level = (BookLevel(key, max(size, Decimal(0))),)
        assert event[:4] == ("delta", "T", *((level, ()) if side == "yes" else ((), level)))
        assert event[4:6] == (max(bids, default=None), min(asks, default=None))
        assert (event[6], event[7], books["T"].sequence) == (None, {}, seq)
    assert texts(books["T"].levels()[0]) == model_levels(bids, True)
    assert texts(books["T"].levels()[1]) == model_levels(asks, False)
