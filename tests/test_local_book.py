"""LocalBook: levels, stream bookkeeping, views, and the borrow discipline of its methods."""

import gc
import weakref
from decimal import Decimal

import pytest
from orvane._core import LocalBook
from orvane.ws.base import BookLevel


def items(side):
    return [(str(p), str(s)) for p, s in side.items()]


def records(levels):
    return [(str(level.price), str(level.size)) for level in levels]


def test_new_book():
    book = LocalBook()
    assert repr(book) == "LocalBook(ready=False, bids=0, asks=0)"
    assert (book.ready, book.sequence, book.timestamp) == (False, None, None)
    assert (book.best_bid, book.best_ask, book.levels()) == (None, None, ((), ()))
    with pytest.raises(TypeError, match="takes 0 positional arguments but 1 was given"):
        LocalBook(1)
    with pytest.raises(TypeError, match="got an unexpected keyword argument 'ready'"):
        LocalBook(ready=True)


@pytest.mark.parametrize("text", ["BID", "", "ask", "bid ", "bids"])
def test_only_the_text_bid_selects_bids(text):
    book = LocalBook()
    book.add(text, "0.5", 1)
    book.add("bid", "0.4", 1)
    assert (items(book.bids), items(book.asks)) == ([("0.4", "1")], [("0.5", "1")])


# (method, side, price, amount, returned) steps, then the bid and ask levels left.
LEVEL_CHANGES = [
    ([("set", "bid", "0.5", 0, "0")], [], []),
    ([("set", "ask", "0.5", 3, "3"), ("set", "ask", "0.5", "-3", "0")], [], []),
    ([("add", "bid", "0.5", 10, "10"), ("add", "bid", "0.5", -10, "0")], [], []),
    ([("add", "bid", "0.5", -1, "0"), ("add", "ask", "0.5", "-0.00", "0")], [], []),
    ([("set", "bid", "0.5", 10, "10"), ("set", "bid", "0.50", 7, "7")], [("0.5", "7")], []),
    ([("set", "ask", 1, "9.0", "9.0"), ("add", "ask", True, "0.25", "9.25")], [], [("1", "9.25")]),
    ([("set", "bid", "1e-2", 1, "1"), ("set", "bid", 0.01, "0.000", "0")], [], []),
]  # fmt: skip


@pytest.mark.parametrize(("steps", "bids", "asks"), LEVEL_CHANGES)
def test_add_and_set(steps, bids, asks):
    book = LocalBook()
    book.sequence = "kept"
    for method, side, price, amount, returned in steps:
        result = getattr(book, method)(side, price, amount)
        assert type(result) is Decimal and str(result) == returned
    assert (items(book.bids), items(book.asks)) == (bids, asks)
    assert (book.ready, book.sequence) == (False, "kept")


def test_replace():
    book = LocalBook()
    book.sequence, book.timestamp = 41, 1.5
    book.bids["0.9"] = 1
    assert book.replace([(0.5, 10), (0.4, 0), (0.6, -1), ("0.50", 12)], iter([])) is None
    assert items(book.bids) == [("0.5", "12")] and items(book.asks) == []
    assert (book.ready, book.sequence, book.timestamp) == (True, 41, 1.5)
    book.replace((x for x in [("0.3", 1)]), book.bids.items())
    assert items(book.bids) == [("0.3", "1")] and items(book.asks) == [("0.5", "12")]


def test_side_setters_keep_every_size():
    book, other = LocalBook(), LocalBook()
    book.bids = {"0.5": "10", 0.6: 0, "0.7": -1}
    assert book.bids == {0.5: 10, 0.6: 0, 0.7: -1} and book.ready is False
    book.asks = [(0.5, 1), ("0.50", 2)]
    assert items(book.asks) == [("0.5", "2")]
    other.asks = book.bids.items()
    assert other.asks == book.bids


def other_view():
    other = LocalBook()
    other.replace([("0.1", 1)], [("0.2", 2)])
    return other.asks


def exploding():
    yield ("0.1", 1)
    raise LookupError("iteration broke")


NOT_TUPLE = "object is not an instance of 'tuple'"
LENGTH = "expected tuple of length 2, but got tuple of length"

FAILING_WRITES = [
    (lambda b: b.replace([(0.5, 10), [0.6, 1]], []), TypeError, f"'list' {NOT_TUPLE}"),
    (lambda b: b.replace([(0.5,)], []), ValueError, f"{LENGTH} 1"),
    (lambda b: b.replace([], 5), TypeError, "'int' object is not iterable"),
    (lambda b: b.replace([], [(1, "x")]), ValueError, "Failed to parse"),
    (lambda b: b.replace([], exploding()), LookupError, "iteration broke"),
    (lambda b: b.replace(other_view(), []), TypeError, f"'Decimal' {NOT_TUPLE}"),
    (lambda b: setattr(b, "bids", other_view()), TypeError, f"'Decimal' {NOT_TUPLE}"),
    (lambda b: setattr(b, "asks", {0.1: 1, "y": 2}), ValueError, "Failed to parse"),
    (lambda b: setattr(b, "asks", [(1, 2, 3)]), ValueError, f"{LENGTH} 3"),
    (lambda b: setattr(b, "bids", None), TypeError, "'NoneType' object is not iterable"),
]


@pytest.mark.parametrize(("call", "kind", "message"), FAILING_WRITES)
def test_failed_writes_change_nothing(call, kind, message, snapshot):
    book = LocalBook()
    book.bids = {"0.5": 1, "0.4": 0}
    book.asks["0.6"] = 2
    before = snapshot(book)
    with pytest.raises(kind) as info:
        call(book)
    assert str(info.value) == message
    assert snapshot(book) == before
    book.invalidate()  # no access was left behind


# A view iterates prices, not pairs; that holds for a view of the book being written as well.
@pytest.mark.parametrize(
    "call", [lambda b: b.replace(b.bids, []), lambda b: setattr(b, "asks", b.asks)]
)
def test_own_view_is_not_pairs(call, snapshot):
    book = LocalBook()
    book.replace([("0.5", 1)], [("0.6", 2)])
    before = snapshot(book)
    with pytest.raises(TypeError, match=f"^'Decimal' {NOT_TUPLE}$"):
        call(book)
    assert snapshot(book) == before


def test_levels():
    book = LocalBook()
    book.replace([("0.2", 1), ("0.3", "2.0"), ("0.1", 3)], [("0.5", 5), ("0.4", 4), ("0.6", 6)])
    bids, asks = book.levels()
    assert all(type(level) is BookLevel for level in bids + asks)
    assert records(bids) == [("0.3", "2.0"), ("0.2", "1"), ("0.1", "3")]
    assert records(asks) == [("0.4", "4"), ("0.5", "5"), ("0.6", "6")]
    assert [records(s) for s in book.levels(2)] == [records(bids[:2]), records(asks[:2])]
    assert book.levels(0) == ((), ()) and book.levels(None) == book.levels(10) == (bids, asks)


def test_mirrored():
    book = LocalBook()
    book.replace([("0.4", 5), ("1", 1)], [("0.6", 7), ("0.45", "2.5")])
    book.sequence, book.timestamp = [1], {"t": 2}
    copy = book.mirrored()
    assert items(copy.bids) == [("0.4", "7"), ("0.55", "2.5")]
    assert items(copy.asks) == [("0", "1"), ("0.6", "5")]
    assert copy.sequence is book.sequence and copy.timestamp is book.timestamp and copy.ready
    copy.set("bid", "0.4", 0)
    copy.invalidate()
    assert items(book.asks) == [("0.45", "2.5"), ("0.6", "7")] and book.ready
    assert items(book.mirrored("100").asks) == [("99", "1"), ("99.6", "5")]
    assert LocalBook().mirrored().ready is False


def test_invalidate_keeps_levels_and_fields():
    book = LocalBook()
    book.replace([("0.3", 3), ("0.2", 1), ("0.25", 1)], [("0.4", 1)] * 5)
    book.sequence = 9
    assert repr(book) == "LocalBook(ready=True, bids=3, asks=1)"
    assert book.invalidate() is None
    assert (book.ready, book.sequence) == (False, 9)
    assert (str(book.best_bid), str(book.best_ask)) == ("0.3", "0.4")


def test_fields_identity_and_properties():
    book, marker = LocalBook(), object()
    book.sequence, book.timestamp = marker, 0
    assert book.sequence is marker and book.timestamp == 0
    book.sequence = None
    book.ready = NumpyBool(lambda: None)
    assert book.sequence is None and book.ready is True
    assert book.__eq__(book) and book != LocalBook() and len({book, book, LocalBook()}) == 2
    for name in ("bids", "asks", "sequence", "timestamp", "ready"):
        with pytest.raises(AttributeError, match="^property has no deleter$"):
            delattr(book, name)
    for name in ("best_bid", "best_ask"):
        with pytest.raises((AttributeError, TypeError)):
            setattr(book, name, Decimal(1))


def test_cycles_through_fields_and_views_are_collected():
    class Marker:
        pass

    first, second, marker = LocalBook(), LocalBook(), Marker()
    first.sequence, first.timestamp = first.bids, Marker()
    second.timestamp, marker.book = marker, second
    alive = weakref.ref(first.timestamp), weakref.ref(marker)
    del first, second, marker
    gc.collect()
    assert [ref() for ref in alive] == [None, None]


class StrHook:
    """Runs `action` whenever the module takes its text."""

    def __init__(self, action, text="0.5"):
        self.action, self.text = action, text

    def __str__(self):
        self.action()
        return self.text


class IndexHook:
    def __init__(self, action):
        self.action = action

    def __index__(self):
        self.action()
        return 1


class NumpyBool(StrHook):
    def __bool__(self):
        self.action()
        return True


NumpyBool.__name__, NumpyBool.__module__ = "bool_", "numpy"
SHARED, EXCLUSIVE = "Already mutably borrowed", "Already borrowed"

# Python code run by an argument's conversion touches the book the method holds. Through the
# book's own methods that is a RuntimeError; through a view it is an internal failure.
# `replace` and the side setters read their input before taking the book, so code run by that
# reading may use the book freely; the calls below hold the book while Python code runs.
REENTRY = [
    (lambda b: b.add("bid", IndexHook(lambda: b.best_bid), 1), RuntimeError, SHARED),
    (lambda b: b.set("ask", 1, StrHook(lambda: b.ready)), RuntimeError, SHARED),
    (lambda b: b.add("ask", 1, StrHook(lambda: b.set("bid", 1, 1))), RuntimeError, EXCLUSIVE),
    (lambda b: b.levels(IndexHook(lambda: setattr(b, "ready", True))), RuntimeError, EXCLUSIVE),
    (lambda b: b.mirrored(StrHook(lambda: setattr(b, "sequence", 1))), RuntimeError, EXCLUSIVE),
    (lambda b: setattr(b, "ready", NumpyBool(lambda: b.timestamp)), RuntimeError, SHARED),
    (lambda b: b.add("bid", IndexHook(lambda: b.bids["0.5"]), 1), None, SHARED),
    (lambda b: b.set("bid", StrHook(lambda: "0.5" in b.asks), 1), None, SHARED),
    (lambda b: b.levels(IndexHook(lambda: b.bids.__setitem__("0.1", 1))), None, EXCLUSIVE),
    (lambda b: b.levels(IndexHook(lambda: b.asks.pop("0.6"))), None, EXCLUSIVE),
    (lambda b: b.mirrored(StrHook(lambda: b.bids.__delitem__("0.5"))), None, EXCLUSIVE),
]


@pytest.mark.parametrize(("call", "kind", "message"), REENTRY)
def test_reentry_is_refused_and_changes_nothing(call, kind, message, snapshot):
    book = LocalBook()
    book.replace([("0.5", 1)], [("0.6", 2)])
    book.invalidate()
    book.sequence = 3
    before = snapshot(book)
    with pytest.raises(BaseException) as info:
        call(book)
    if kind is None:
        assert not isinstance(info.value, Exception)
        assert type(info.value).__name__ == "InvariantFailure"
    else:
        assert type(info.value) is kind
    assert str(info.value) == message
    assert snapshot(book) == before
    assert str(book.set("bid", "0.1", 1)) == "1"  # every access was released


def test_shared_accesses_nest():
    book = LocalBook()
    book.set("ask", "0.6", 2)
    _, asks = book.levels(IndexHook(lambda: (book.best_ask, book.levels(), book.asks["0.6"])))
    assert records(asks) == [("0.6", "2")]
    assert book.mirrored(StrHook(lambda: book.asks == {0.6: 2}, "1")).bids == {0.4: 2}


def test_mirrored_refuses_to_merge_levels_that_round_together():
    book = LocalBook()
    book.replace([], [("1E-28", 5), ("2E-28", 7)])
    with pytest.raises(BaseException) as info:
        book.mirrored(10**28)
    assert type(info.value).__name__ == "InvariantFailure"
    assert str(info.value) == "Mirrored prices collided"
    assert book.asks == {Decimal("1E-28"): 5, Decimal("2E-28"): 7}


def test_lone_surrogates_are_just_text():
    book = LocalBook()
    book.set("\ud800", "0.5", 1)
    assert book.asks == {Decimal("0.5"): 1}
    with pytest.raises(ValueError, match="Failed to parse"):
        book.set("bid", "\ud800", 1)


def test_subclasses_are_books():
    class Named(LocalBook):
        name = "yes"

    book = Named()
    book.set("bid", "0.4", 2)
    assert book.best_bid == Decimal("0.4") and book.name == "yes"


def test_a_second_interpreter_is_refused():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interpreter = interpreters.create()
    try:
        with pytest.raises(interpreters.RunFailedError, match="one interpreter of a process"):
            interpreters.run_string(interpreter, "import orvane._core")
    finally:
        interpreters.destroy(interpreter)
