"""polymarket_market against the caller's state where the replay's model does not reach: pending
checks in odd shapes, state left unchanged on None, user code run mid-call. The
replay test drives snapshots, deltas, gaps, resyncs and batches against a model; decoding errors
are core/tests/venues/venues_test.cpp's."""

import json

import pytest
from entry_points import BadText
from fuzz_decoders import HostileKey, image
from orvane._core import LocalBook, polymarket_market

T0 = 1_700_000_000_000


def book_frame(asset, bids=(), asks=()):
    body = {"asset_id": asset, "market": "M", "timestamp": str(T0)}
    for side, pairs in (("bids", bids), ("asks", asks)):
        body[side] = [{"price": p, "size": s} for p, s in pairs]
    return json.dumps({"event_type": "book", **body})


def change(asset, side, price, size, best_bid=None, best_ask=None):
    keys = ("asset_id", "side", "price", "size", "best_bid", "best_ask")
    return dict(zip(keys, (asset, side, price, size, best_bid, best_ask), strict=True))


def changes_frame(*changes, ts=T0):
    body = {"market": "M", "timestamp": ts, "price_changes": list(changes)}
    return json.dumps({"event_type": "price_change", **body})


class State:
    def __init__(self):
        self.books, self.unverified, self.markets = {}, {}, {}

    def __call__(self, raw):
        return polymarket_market(raw, self.books, self.unverified, self.markets)

    def seeded(self):
        assert self(book_frame("A", [("0.40", "10")], [("0.60", "5")])) is not None
        return self

    def image(self):
        return image((self.books, self.unverified, self.markets))


@pytest.mark.parametrize(
    ("raw", "prepare"),
    [
        # Broken frames and books that are not LocalBooks are the decoder fuzz's; here the
        # pending checks in shapes it does not make.
        (json.dumps({"event_type": "tick_size_change", "asset_id": "A"}), None),
        (book_frame("A"), lambda s: s.unverified.update(A=[T0, "0.4", "0.6"])),
        (book_frame("A"), lambda s: s.unverified.update({1: (T0, None, None)})),
        (book_frame("A"), lambda s: s.unverified.update(Z=(1.5, None, None))),
        # A pending check this frame would compare must hold prices.
        (changes_frame(change("A", "BUY", "0.5", "1")), lambda s: s.unverified.update(A=(T0, "abc", None))),
        (changes_frame(change("A", "BUY", "0.5", "1")), lambda s: s.unverified.update(A=(T0, None, False))),
        (changes_frame(change("B", "BUY", "0.5", "1"), ts=T0 + 501), lambda s: s.unverified.update(Z=(T0, BadText(), None))),
        # ...whose book, if any, must be a LocalBook.
        (changes_frame(change("B", "BUY", "0.5", "1"), ts=T0 + 501), lambda s: s.books.update(Z=1) or s.unverified.update(Z=(T0, None, None))),
    ],
)  # fmt: skip
def test_none_leaves_state_unchanged(raw, prepare):
    s = State().seeded()
    s(changes_frame(change("A", "BUY", "0.41", "1", "0.41", "0.6"), ts=T0))
    if prepare:
        prepare(s)
    before = s.image()
    assert s(raw) is None
    assert s.image() == before


def test_pending_check_not_due_is_not_read():
    # A pending check outside the batch and within 500 ms is left alone, whatever it holds.
    s = State().seeded()
    s.unverified["Z"] = (T0, "abc", None)
    assert s(changes_frame(change("A", "BUY", "0.5", "1"), ts=T0 + 500))
    assert s.unverified["Z"] == (T0, "abc", None)


def test_lookup_errors_propagate_before_changes():
    s = State()
    s.books[HostileKey("A", raises=True)] = LocalBook()
    before = s.image()
    with pytest.raises(LookupError, match="^hostile key$"):
        s(book_frame("A"))
    assert s.image() == before


class Mutating:
    """A venue price whose str() empties the caller's state the second time it is asked."""

    def __init__(self, state):
        self.state, self.calls = state, 0

    def __str__(self):
        self.calls += 1
        if self.calls == 2:
            self.state.books.clear()
            self.state.unverified.clear()
        return "0.4"


def test_state_changed_by_user_code_during_the_call():
    s = State().seeded()
    price = Mutating(s)
    s.unverified["A"] = (T0 - 1000, price, None)
    events = s(changes_frame(change("A", "BUY", "0.45", "1", "0.45", None), ts=T0))
    assert price.calls == 2 and events == [] and s.books == {}
