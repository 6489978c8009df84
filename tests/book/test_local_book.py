"""LocalBook: levels, stream bookkeeping, views, and the borrow discipline of its methods."""

import ast
import gc
import os
import weakref
from decimal import Decimal

import pytest
from orvane._core import LocalBook


def items(side):
    return [(str(p), str(s)) for p, s in side.items()]


def test_new_book_repr_and_invalidate():
    book = LocalBook()
    assert repr(book) == "LocalBook(ready=False, bids=0, asks=0)"
    assert (book.ready, book.sequence, book.timestamp) == (False, None, None)
    assert (book.best_bid, book.best_ask, book.levels()) == (None, None, ((), ()))
    book.replace([("0.3", 3), ("0.2", 1), ("0.25", 1)], [("0.4", 1)] * 5)
    assert repr(book) == "LocalBook(ready=True, bids=3, asks=1)"
    assert book.invalidate() is None and not book.ready


@pytest.mark.parametrize("text", ["BID", "", "bid ", "\ud800"])
def test_only_the_text_bid_selects_bids(text):
    book = LocalBook()
    book.add(text, "0.5", 1)
    book.add("bid", "0.4", 1)
    assert (items(book.bids), items(book.asks)) == ([("0.4", "1")], [("0.5", "1")])


# Level semantics are test_book_model's; here what its model does not see: the return value is a
# Decimal, True is price 1, the writes leave the other fields alone, and `replace` reads its input
# (even a view of this book) before it takes the book.
def test_writes_and_the_other_fields():
    book = LocalBook()
    book.sequence, book.timestamp = "kept", 1.5
    result = book.add("ask", True, "0.25")
    assert type(result) is Decimal and str(book.set("ask", 1, "9.0")) == "9.0"
    assert (book.ready, book.sequence, book.timestamp) == (False, "kept", 1.5)
    assert book.replace((x for x in [("0.3", 1)]), book.asks.items()) is None
    assert items(book.bids) == [("0.3", "1")] and items(book.asks) == [("1", "9.0")]
    assert (book.ready, book.sequence, book.timestamp) == (True, "kept", 1.5)


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
    (lambda b: setattr(b, "bids", other_view()), TypeError, f"'Decimal' {NOT_TUPLE}"),
    (lambda b: setattr(b, "asks", {0.1: 1, "y": 2}), ValueError, "Failed to parse"),
    (lambda b: setattr(b, "asks", [(1, 2, 3)]), ValueError, f"{LENGTH} 3"),
    (lambda b: setattr(b, "bids", None), TypeError, "'NoneType' object is not iterable"),
    # A view iterates prices, not pairs; that holds for a view of the book being written as well.
    (lambda b: b.replace(b.bids, []), TypeError, f"'Decimal' {NOT_TUPLE}"),
    (lambda b: setattr(b, "asks", b.asks), TypeError, f"'Decimal' {NOT_TUPLE}"),
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


def test_mirrored_shares_fields_and_is_independent():
    book = LocalBook()
    book.replace([("0.4", 5), ("1", 1)], [("0.6", 7), ("0.45", "2.5")])
    book.sequence, book.timestamp = [1], {"t": 2}
    copy = book.mirrored()
    assert copy.bids == {"0.4": 7, "0.55": "2.5"} and [str(p) for p in copy.asks] == ["0", "0.6"]
    assert copy.sequence is book.sequence and copy.timestamp is book.timestamp and copy.ready
    copy.set("bid", "0.4", 0)
    copy.invalidate()
    assert book.asks == {"0.6": 7, "0.45": "2.5"} and book.ready


def test_fields_identity_properties_and_subclasses():
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

    class Named(LocalBook):
        name = "yes"

    book = Named()
    book.set("bid", "0.4", 2)
    assert book.best_bid == Decimal("0.4") and book.name == "yes"


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
    (lambda b: b.levels(IndexHook(lambda: setattr(b, "ready", True))), RuntimeError, EXCLUSIVE),
    (lambda b: b.mirrored(StrHook(lambda: setattr(b, "sequence", 1))), RuntimeError, EXCLUSIVE),
    (lambda b: setattr(b, "ready", NumpyBool(lambda: b.timestamp)), RuntimeError, SHARED),
    (lambda b: b.add("bid", IndexHook(lambda: b.bids["0.5"]), 1), None, SHARED),
    (lambda b: b.set("bid", StrHook(lambda: "0.5" in b.asks), 1), None, SHARED),
    (lambda b: b.levels(IndexHook(lambda: b.bids.__setitem__("0.1", 1))), None, EXCLUSIVE),
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
    assert [(level.price, level.size) for level in asks] == [(Decimal("0.6"), 2)]
    assert book.mirrored(StrHook(lambda: book.asks == {0.6: 2}, "1")).bids == {0.4: 2}


def test_mirrored_refuses_to_merge_levels_that_round_together():
    book = LocalBook()
    book.replace([], [("1E-28", 5), ("2E-28", 7)])
    with pytest.raises(BaseException) as info:
        book.mirrored(10**28)
    assert type(info.value).__name__ == "InvariantFailure"
    assert str(info.value) == "Mirrored prices collided"
    assert book.asks == {Decimal("1E-28"): 5, Decimal("2E-28"): 7}


def _subinterpreters():
    """create(config), run_string and destroy of CPython's private sub-interpreter module, whose
    name and creation arguments change between 3.11, 3.12 and 3.13."""
    try:
        import _interpreters as module  # 3.13 on

        return module.create, module.run_string, module.destroy
    except ImportError:
        import _xxsubinterpreters as module  # 3.11, 3.12

        def create(config):
            return module.create(isolated=config == "isolated")

        return create, module.run_string, module.destroy


# A legacy interpreter shares the main one's lock, so the import reaches the module's own check.
# An isolated one (a lock of its own) is refused by CPython itself from 3.12 on, because the module
# does not declare per-interpreter support; 3.11 has no such interpreters and our check answers.
# Either way the import must fail cleanly there and leave this interpreter's module working.
@pytest.mark.parametrize(
    "config, message",
    [
        ("legacy", "orvane._core can be imported by one interpreter of a process only"),
        ("isolated", None),
    ],
)
def test_a_second_interpreter_is_refused(config, message):
    create, run_string, destroy = _subinterpreters()
    read, write = os.pipe()
    script = f"""if True:
        import os, sys
        try:
            import orvane._core
        except ImportError as error:
            outcome = repr((str(error), "orvane._core" in sys.modules))
        else:
            outcome = "imported"
        os.write({write}, outcome.encode())
    """
    interpreter = create(config)
    try:
        assert run_string(interpreter, script) is None
    finally:
        destroy(interpreter)
        os.close(write)
    with os.fdopen(read) as pipe:
        outcome = pipe.read()
    assert outcome != "imported"
    error, left_behind = ast.literal_eval(outcome)
    assert not left_behind
    if message is not None:
        assert error == message
    book = LocalBook()
    book.set("bid", "0.5", 1)
    assert book.bids == {Decimal("0.5"): 1}
