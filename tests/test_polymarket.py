import copy
import json
import sys
from decimal import Decimal

import pytest
from orvane._core import LocalBook, polymarket_market
from orvane.ws.base import BookLevel

T0 = 1_700_000_000_000


def levels(*pairs):
    return tuple(BookLevel(Decimal(p), Decimal(s)) for p, s in pairs)


def book_frame(asset, bids=(), asks=(), ts=T0, market="M", **extra):
    return json.dumps(
        {
            "event_type": "book",
            "asset_id": asset,
            "market": market,
            "timestamp": str(ts),
            "bids": [{"price": p, "size": s} for p, s in bids],
            "asks": [{"price": p, "size": s} for p, s in asks],
            **extra,
        }
    )


def change(asset, side, price, size, best_bid=None, best_ask=None):
    keys = ("asset_id", "side", "price", "size", "best_bid", "best_ask")
    return dict(zip(keys, (asset, side, price, size, best_bid, best_ask), strict=True))


def changes_frame(*changes, ts=T0, market="M"):
    return json.dumps(
        {
            "event_type": "price_change",
            "market": market,
            "timestamp": ts,
            "price_changes": list(changes),
        }
    )


class State:
    def __init__(self):
        self.books, self.unverified, self.markets = {}, {}, {}

    def __call__(self, raw):
        return polymarket_market(raw, self.books, self.unverified, self.markets)

    def seeded(self, asset="A", bids=(("0.40", "10"),), asks=(("0.60", "5"),), ts=T0):
        assert self(book_frame(asset, bids, asks, ts=ts)) is not None
        return self

    def image(self):
        """Everything the call may change, deep-copied."""

        def book(value):
            if isinstance(value, LocalBook):
                return ("LocalBook", value.levels(), value.ready, value.sequence, value.timestamp)
            return copy.deepcopy(value)

        return (
            {k: book(v) for k, v in self.books.items()},
            copy.deepcopy(self.unverified),
            dict(self.markets),
        )


def test_snapshot_creates_book_then_delta_applies():
    s = State()
    events = s(
        book_frame(
            "A",
            [("0.40", "10"), ("0.45", "0"), ("0.40", "12")],
            [("0.60", "5")],
            hash="0xh",
            tick_size=0.01,
        )
    )
    book = s.books["A"]
    assert events == [
        (
            "book", "A", "M", "snapshot", levels(("0.40", "12")), levels(("0.60", "5")),
            Decimal("0.40"), Decimal("0.60"), T0, {"hash": "0xh", "tick_size": 0.01, "last_trade_price": None},
        )
    ]  # fmt: skip
    assert book.ready and book.timestamp == T0 and book.sequence is None and s.markets == {"A": "M"}

    events = s(
        changes_frame(
            change("A", "BUY", "0.45", "3", "0.45", "0.6"),
            change("A", "SELL", "0.60", "0", "0.45", ""),
            change("A", "buy", "0.40", "0", "0.45", ""),
            ts=T0 + 1,
        )
    )
    assert events == [
        (
            "book", "A", "M", "delta", levels(("0.45", "3"), ("0.40", "0")), levels(("0.60", "0")),
            Decimal("0.45"), None, T0 + 1, None,
        )
    ]  # fmt: skip
    assert book.levels() == (levels(("0.45", "3")), ())
    assert book.timestamp == T0 + 1
    # The last change's reported prices wait to be checked, as the frame's JSON values.
    assert s.unverified == {"A": (T0 + 1, "0.45", "")}


def test_arguments():
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'markets'"):
        polymarket_market("[]", {}, {})
    for position, (name, wrong) in enumerate([("raw", b"[]"), ("books", []), ("unverified", None)]):
        arguments = ["[]", {}, {}, {}]
        arguments[position] = wrong
        with pytest.raises(TypeError) as raised:
            polymarket_market(*arguments)
        assert raised.value.__notes__ == [f"while processing '{name}'"]
    assert str(raised.value) == "'None' is not an instance of 'dict'"
    assert polymarket_market(raw="[]", books={}, unverified={}, markets={}) == []
    assert polymarket_market.__text_signature__ == "(raw, books, unverified, markets)"


def test_deltas_need_a_ready_book():
    s = State().seeded()
    s.books["A"].invalidate()
    before = s.image()
    assert s(changes_frame(change("A", "BUY", "0.5", "1"), change("B", "BUY", "0.5", "1"))) == []
    assert s.image() == before and "B" not in s.books


def test_resync_after_invalidation():
    s = State()
    assert [e[0] for e in s(book_frame("A", [("0.4", "1")]))] == ["book"]
    s.books["A"].invalidate()
    events = s(book_frame("A", [("0.3", "2")], ts=T0 + 5))
    assert [e[:2] for e in events] == [("resynced", "A"), ("book", "A")]
    assert s.books["A"].ready and s.books["A"].levels()[0] == levels(("0.3", "2"))
    # A snapshot discards the asset's pending check unchecked.
    s(changes_frame(change("A", "BUY", "0.41", "1", "0.99", "0.6"), ts=T0 + 6))
    assert "A" in s.unverified
    assert [e[0] for e in s(book_frame("A", ts=T0 + 7))] == ["book"] and s.unverified == {}


def test_gap_found_by_a_later_frame():
    s = State().seeded("A").seeded("B")
    # A's update reports a best bid the local book does not have.
    s(changes_frame(change("A", "BUY", "0.41", "1", "0.42", "0.60"), ts=T0 + 10))
    # 500 ms later is not enough; more is.
    assert (
        s(changes_frame(change("B", "SELL", "0.61", "1", "0.40", "0.60"), ts=T0 + 510))[0][0]
        == "book"
    )
    events = s(changes_frame(change("B", "SELL", "0.62", "1", "0.40", "0.60"), ts=T0 + 511))
    assert events[0] == ("gap", "A", Decimal("0.41"), Decimal("0.60"), "0.42", "0.60")
    assert events[1][:4] == ("book", "B", "M", "delta")
    assert not s.books["A"].ready and "A" not in s.unverified and "B" in s.unverified


def test_same_timestamp_updates_do_not_check_each_other():
    s = State().seeded()
    assert s(changes_frame(change("A", "BUY", "0.41", "1", "0.99", "0.60"), ts=T0 + 1))
    events = s(changes_frame(change("A", "BUY", "0.42", "1", "0.42", "0.60"), ts=T0 + 1))
    assert [e[0] for e in events] == ["book"] and s.books["A"].ready
    # Another timestamp compares the pending prices first (they agree here), then applies.
    events = s(changes_frame(change("A", "BUY", "0.43", "1", "0.99", "0.60"), ts=T0 + 2))
    assert [e[0] for e in events] == ["book"]
    # This time the pending best bid 0.99 disagrees: the gap, and the change is skipped.
    events = s(changes_frame(change("A", "BUY", "0.44", "1", "0.44", "0.60"), ts=T0 + 3))
    assert [e[0] for e in events] == ["gap"]
    assert s.books["A"].best_bid == Decimal("0.43") and not s.books["A"].ready


@pytest.mark.parametrize(
    ("bids", "venue_bid", "venue_ask", "gap"),
    [
        # An empty side agrees only with a venue price of 0 or 1.
        ((), "0", "1", False), ((), "0.0", "1.00", False), ((), 0, 1, False), ((), "", None, False),
        ((), "0.01", "1", True),
        # Any object the caller stored is read through str(); 0.50 equals 0.5.
        ((("0.5", "1"),), Decimal("0.50"), 1, False), ((("0.5", "1"),), 0.5, 1.0, False),
        ((("0.5", "1"),), Decimal("0.51"), None, True), ((("0.5", "1"),), None, 0.99, True),
    ],
)  # fmt: skip
def test_pending_check_against_the_book(bids, venue_bid, venue_ask, gap):
    s = State().seeded(bids=bids, asks=())
    s.unverified["A"] = (None, venue_bid, venue_ask)
    events = s(changes_frame(change("A", "BUY", "0.4", "1"), ts=T0))
    assert [e[0] for e in events] == (["gap"] if gap else ["book"])


def test_escaped_and_plain_frames_read_alike():
    # A frame with escapes takes the general JSON reader, a plain one the one-pass reader.
    plain, general = State(), State()
    frames = [
        book_frame("A", [("0.40", "10")], [("0.60", "5")]),
        changes_frame(change("A", "BUY", "0.45", "3", "0.45", "0.6"), ts=T0 + 1),
    ]
    for raw in frames:
        escaped = raw.replace('"0.4', '"\\u0030.4').replace('"A"', '"\\u0041"')
        assert "\\" not in raw and escaped != raw
        assert plain(raw) == general(escaped)
    assert plain.image() == general.image()


def test_frame_shapes():
    s = State()
    assert s("[]") == [] and s("  [ ]") == []
    assert s(json.dumps({"event_type": "tick_size_change", "asset_id": "A"})) is None
    assert s("[" + book_frame("A") + ',{"event_type":"last_trade_price"}]') is None
    assert s.books == {} and s.markets == {}
    events = s("[" + book_frame("A") + "," + changes_frame(change("A", "BUY", "0.5", "1")) + "]")
    assert [e[3] for e in events] == ["snapshot", "delta"]


class Raising:
    def __str__(self):
        raise ZeroDivisionError

    def __deepcopy__(self, memo):
        return self


@pytest.mark.parametrize(
    ("raw", "prepare"),
    [
        ("", None),
        ("{", None),
        ('{"event_type":"book","bids":"x"}', None),
        ('{"event_type":"book","asset_id":"A","bids":[{"price":"0.5"}]}', None),
        (changes_frame(change("A", "BUY", "0.5", "1", best_bid="abc")), None),
        (changes_frame(change("A", "BUY", "0.5", "1", best_ask=True)), None),
        (book_frame("A"), lambda s: s.books.update(A={"bids": {}})),
        (changes_frame(change("A", "BUY", "0.5", "1")), lambda s: s.books.update(A=None)),
        (book_frame("A"), lambda s: s.unverified.update(A=(T0, "0.4"))),
        (book_frame("A"), lambda s: s.unverified.update(A=[T0, "0.4", "0.6"])),
        (book_frame("A"), lambda s: s.unverified.update({1: (T0, None, None)})),
        (book_frame("A"), lambda s: s.unverified.update(Z=(1.5, None, None))),
        (book_frame("A"), lambda s: s.unverified.update(Z=(2**63, None, None))),
        # A pending check this frame would compare must hold prices.
        (changes_frame(change("A", "BUY", "0.5", "1")), lambda s: s.unverified.update(A=(T0, "abc", None))),
        (changes_frame(change("A", "BUY", "0.5", "1")), lambda s: s.unverified.update(A=(T0, None, False))),
        (changes_frame(change("B", "BUY", "0.5", "1"), ts=T0 + 501), lambda s: s.unverified.update(Z=(T0, Raising(), None))),
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


class BadKey(str):
    """Hashes like "A" but cannot be compared, so a lookup of "A" raises."""

    def __hash__(self):
        return hash("A")

    def __eq__(self, other):
        raise ZeroDivisionError


def test_lookup_errors_propagate_before_changes():
    s = State()
    s.books[BadKey("x")] = LocalBook()
    before = s.image()
    with pytest.raises(ZeroDivisionError):
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


def test_references_are_released():
    s = State().seeded()
    venue = Decimal("0.99")
    base = sys.getrefcount(venue)
    s.unverified["A"] = (T0, venue, None)
    events = s(changes_frame(change("A", "BUY", "0.5", "1"), ts=T0 + 1))
    assert events[0] == ("gap", "A", Decimal("0.40"), Decimal("0.60"), venue, None)
    del events
    assert sys.getrefcount(venue) == base
    for _ in range(3):
        s(book_frame("A", [("0.4", "1")]))
    count = sys.getrefcount(s.books["A"])
    assert count == 2
