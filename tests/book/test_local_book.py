"""LocalBook: repr, fields, failed writes, and the borrow discipline of its methods (its levels, the
other fields and `mirrored` against a model are test_book_model's)."""

import gc
import weakref
from decimal import Decimal

import pytest
from orvane._core import LocalBook, router_view


@pytest.mark.parametrize("name", ["bids", "asks", "sequence", "timestamp", "ready"])
def test_properties_have_no_deleters(name):
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(LocalBook(), name)


def test_cycles_through_fields_and_views_are_collected():
    Marker = type("Marker", (), {})
    first, second, marker = LocalBook(), LocalBook(), Marker()
    first.sequence, first.timestamp = first.bids, Marker()
    second.timestamp, marker.book = marker, second
    alive = weakref.ref(first.timestamp), weakref.ref(marker)
    del first, second, marker
    gc.collect()
    assert [ref() for ref in alive] == [None, None]


class StrHook:
    """Runs `action` whenever the module takes its text (or, below, its integer or numpy truth)."""

    def __init__(self, action, text="0.5"):
        self.action, self.text = action, text

    def __str__(self):
        self.action()
        return self.text


IndexHook = type("IndexHook", (StrHook,), {"__index__": lambda self: (self.action(), 1)[1]})
NumpyBool = type("bool_", (StrHook,), {"__bool__": lambda self: (self.action(), True)[1]})
NumpyBool.__module__ = "numpy"
SHARED, EXCLUSIVE = "Already mutably borrowed", "Already borrowed"
RUNTIME, INVARIANT = "RuntimeError", "InvariantFailure"

NOT_TUPLE = "object is not an instance of 'tuple'"
FAILURES = [
    (lambda b: b.replace([(0.5, 10), [0.6, 1]], []), "TypeError", f"'list' {NOT_TUPLE}"),
    (lambda b: b.replace([(0.5,)], []), "ValueError", "expected tuple of length 2, but got tuple of length 1"),
    (lambda b: b.replace([], [(1, "x")]), "ValueError", "Failed to parse"),
    (lambda b: b.replace([], (("0.1", 1 / x) for x in (1, 0))), "ZeroDivisionError", "division by zero"),
    # A view iterates prices, not pairs, also when it is a view of the book being written.
    (lambda b: setattr(b, "asks", b.asks), "TypeError", f"'Decimal' {NOT_TUPLE}"),
    (lambda b: b.mirrored(10**28), INVARIANT, "Mirrored prices collided"),
    # Python code run by an argument's conversion touches the book the method holds. Through the
    # book's own methods that is a RuntimeError; through a view or the router an internal failure.
    # (`replace` and the side setters read their input before taking the book: test_book_model.)
    (lambda b: b.add("bid", IndexHook(lambda: b.best_bid), 1), RUNTIME, SHARED),
    (lambda b: b.levels(IndexHook(lambda: setattr(b, "ready", True))), RUNTIME, EXCLUSIVE),
    (lambda b: setattr(b, "ready", NumpyBool(lambda: b.timestamp)), RUNTIME, SHARED),
    (lambda b: b.set("bid", StrHook(lambda: "0.5" in b.asks), 1), INVARIANT, SHARED),
    (lambda b: b.levels(IndexHook(lambda: b.bids.__setitem__("0.1", 1))), INVARIANT, EXCLUSIVE),
    (lambda b: b.set("bid", StrHook(lambda: router_view(b, False)), 1), INVARIANT, SHARED),
]  # fmt: skip


@pytest.mark.parametrize(("call", "kind", "message"), FAILURES)
def test_failures_change_nothing(call, kind, message, snapshot):
    book = LocalBook()
    book.replace([("0.5", 1)], [("1E-28", 5), ("2E-28", 7)])  # which mirrored at 10**28 collide
    book.invalidate()
    book.sequence = 3
    before = snapshot(book)
    with pytest.raises(BaseException) as info:
        call(book)
    assert type(info.value).__name__ == kind and str(info.value) == message
    assert isinstance(info.value, Exception) is (kind != INVARIANT)
    assert snapshot(book) == before
    assert str(book.set("bid", "0.1", 1)) == "1"  # every access was released


def test_shared_accesses_nest():
    book = LocalBook()
    book.set("ask", "0.6", 2)
    _, asks = book.levels(IndexHook(lambda: (book.best_ask, book.levels(), book.asks["0.6"])))
    assert [(level.price, level.size) for level in asks] == [(Decimal("0.6"), 2)]
    assert book.mirrored(StrHook(lambda: book.asks == {0.6: 2}, "1")).bids == {0.4: 2}


# A legacy sub-interpreter shares the main one's lock, so the import reaches the module's own
# check; it must fail cleanly there and leave this interpreter's module working.
def test_a_second_interpreter_is_refused():
    try:  # CPython's private module, renamed in 3.13
        import _interpreters as module

        interpreter = module.create("legacy")
    except ImportError:
        import _xxsubinterpreters as module

        interpreter = module.create(isolated=False)
    script = """if True:
        import sys
        try:
            import orvane._core
        except ImportError as error:
            message = "orvane._core can be imported by one interpreter of a process only"
            assert str(error) == message and "orvane._core" not in sys.modules
        else:
            raise AssertionError("imported")
    """
    try:  # a failed assertion there fails run_string here
        assert module.run_string(interpreter, script) is None
    finally:
        module.destroy(interpreter)
    assert LocalBook().set("bid", "0.5", 1) == 1
