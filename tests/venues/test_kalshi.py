"""Kalshi book messages: raw frame text to event tuples, against the books the caller keeps (decoding
errors and their texts are core/tests/venues/venues_test.cpp's)."""

import json
from decimal import Decimal

import pytest
from fuzz_decoders import HostileKey
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import kalshi_book_message

from reference import kalshi as reference


def frame(kind, seq, **msg) -> str:
    msg = {"market_ticker": "T", **msg}
    return json.dumps({"type": f"orderbook_{kind}", "seq": seq, "msg": msg})


SNAPSHOT = frame("snapshot", 1, yes_dollars_fp=[], no_dollars_fp=[])
DELTA = frame("delta", 2, price_dollars="0.45", delta_fp="5", side="yes")


def test_message_fields_are_read_only():
    message = kalshi_book_message(frame("snapshot", "17"), {})
    assert (message.seq, message.seq_number, message.sid, message.kind) == (
        *("17", 17, None, "orderbook_snapshot"),
    )
    with pytest.raises(AttributeError):
        message.seq = 1


def test_entry_that_is_not_a_local_book():
    books = {"T": {}}
    assert kalshi_book_message(SNAPSHOT, books) is None
    for message in (kalshi_book_message(DELTA, {}), kalshi_book_message(SNAPSHOT, {})):
        with pytest.raises(TypeError, match="^'dict' object is not an instance of 'LocalBook'$"):
            message.apply(books)
    assert books == {"T": {}}


def test_lookup_errors_propagate():
    books = {HostileKey("T", raises=True): 1}  # its hash meets the ticker's, its comparison fails
    with pytest.raises(LookupError, match="^hostile key$"):
        kalshi_book_message(SNAPSHOT, books)
    with pytest.raises(LookupError, match="^hostile key$"):
        kalshi_book_message(SNAPSHOT, {}).apply(books)
    assert len(books) == 1


# Prices 0..2.50 written with 2 to 4 (or 19 and 20) fractional digits, so equal prices come in
# several spellings.
prices = st.builds(
    lambda cents, extra: Decimal(cents).scaleb(-2).quantize(Decimal(1).scaleb(-2 - extra)),
    st.integers(0, 250),
    st.sampled_from([0, 1, 2, 17, 18]),
)
levels = st.lists(st.tuples(prices.map(str), st.integers(-1, 5).map(str)).map(list), max_size=8)
# The steps of a stream: (kind, msg) to send with the next sequence number, or None for the stream
# losing confidence in the book.
snapshots = st.fixed_dictionaries({
    "yes_dollars_fp": levels, "no_dollars_fp": levels, "market_id": st.sampled_from([None, "m"]),
}).map(lambda msg: ("snapshot", msg))  # fmt: skip
deltas = st.fixed_dictionaries({
    "side": st.sampled_from(["yes", "no", "YES"]),  # only the exact text "yes" is the YES side
    "price_dollars": prices.map(str), "delta_fp": st.integers(-6, 6).map(str),
    "market_ticker": st.sampled_from(["T", "T", "X"]),  # "X" has no book
    "ts_ms": st.sampled_from([None, 1700000000123]),
    "client_order_id": st.sampled_from([None, "", "c1", [1]]),  # a falsy id gives no entry
}).map(lambda msg: ("delta", msg))  # fmt: skip


@given(snapshots, st.lists(deltas | snapshots | st.none(), max_size=10))
def test_stream_matches_the_model(first, steps):
    books, model = {}, {}
    for seq, step in enumerate([first, *steps], 1):
        if step is None:
            books["T"].invalidate()
            model["T"].ready = False
            continue
        raw = frame(*step[:1], seq, **step[1])
        got = kalshi_book_message(raw, books).apply(books)
        # repr shows each Decimal's digits: equal prices keep their first spelling, NO prices
        # their scale
        assert repr(got) == repr(reference.kalshi_book_message(raw, model))
    book, expected = books.pop("T"), model["T"]
    assert books == {}
    assert repr(book.levels()) == repr(
        (reference.ordered(expected.bids, True), reference.ordered(expected.asks, False))
    )
    fields = ("ready", "sequence", "timestamp")
    assert [getattr(book, f) for f in fields] == [getattr(expected, f) for f in fields]
