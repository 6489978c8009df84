"""How calls bind their arguments, report failures (the book left as it was) and refuse re-entry
through the book they hold; how the module presents itself."""

import copy
import importlib
import inspect
import pickle
import sys
from decimal import Decimal
from functools import partial

import entry_points
import orvane
import pytest
from entry_points import KALSHI_MESSAGE, KEY, OPINION_CHANGE, SIGNER
from orvane import _core
from orvane._core import BookSide, LocalBook, Secp256k1Signer

# Everything the module may register, in the order it registers it.
REGISTRATION_ORDER = [
    "LocalBook", "BookSide", "KalshiBookMessage", "kalshi_book_message", "polymarket_market",
    "OpinionDepthChange", "Secp256k1Signer", "RouterLevels", "router_view", "router_levels",
    "polymarket_order_hash", "opinion_depth", "polymarket_us_market_data",
]  # fmt: skip
CLASSES = [value for value in vars(_core).values() if isinstance(value, type)]
CONSTRUCTED = [LocalBook, Secp256k1Signer]  # the others are made by the module only


def test_version_and_registration_order():
    assert _core.__version__ == "0.1.0" and type(_core.__version__) is str
    names = [name for name in vars(_core) if not name.startswith("__")]
    assert names[:2] == ["LocalBook", "BookSide"]
    assert names == [name for name in REGISTRATION_ORDER if name in names]
    assert list(vars(_core))[-1] == "__version__"
    for cls in CLASSES:
        assert (cls.__module__, cls.__qualname__) == ("orvane._core", cls.__name__)


def test_reimport_keeps_class_objects():
    book = LocalBook()
    assert importlib.reload(_core) is _core
    assert (_core.LocalBook, _core.BookSide) == (LocalBook, BookSide)
    saved = sys.modules.pop("orvane._core")
    try:
        fresh = importlib.import_module("orvane._core")
        assert fresh is not saved and (fresh.LocalBook, fresh.BookSide) == (LocalBook, BookSide)
        assert isinstance(book, fresh.LocalBook)
    finally:
        sys.modules["orvane._core"] = orvane._core = saved


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


@pytest.mark.parametrize("cls", [cls for cls in CLASSES if cls not in CONSTRUCTED])
def test_classes_made_only_by_the_module_are_immutable(cls):
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError, match="immutable type"):
        cls.apply = None


def test_keyword_arguments_bind():
    book = LocalBook()
    assert book.add(delta=2, price="0.5", side="bid") == book.set(side="ask", size=2, price=1)
    book.replace(asks=[], bids=[(1, 1)])
    assert book.levels(depth=0) == ((), ()) and book.mirrored(face_value=2).asks == {1: 1}
    assert book.bids.get(price=1) == 1 and book.bids.get(2, default=5) == 5
    assert book.bids.get(2, **{"".join("default"): 6}) == 6  # not interned: bound by its text
    assert _core.polymarket_market(raw="[]", books={}, unverified={}, markets={}) == []


@pytest.mark.parametrize("name", ["bids", "asks", "sequence", "timestamp", "ready"])
def test_properties_have_no_deleters(name):
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(LocalBook(), name)


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
NOT_INT = "'str' object cannot be interpreted as an integer"
OUT_OF_RANGE = "out of range integral type conversion attempted"
NOT_BOOL = "'int' object is not an instance of 'bool'"
# The signer's address with its first letter's case flipped: mixed case whose checksum fails.
FLIPPED = "0x2C7536E3605D9C16a7a3D7b1898e529396a65c23"
polymarket_hash = partial(_core.polymarket_order_hash, **entry_points.POLYMARKET_ORDER)
polymarket_sign = partial(SIGNER.polymarket_sign_order, **entry_points.POLYMARKET_ORDER)
opinion_sign = partial(SIGNER.opinion_sign_order, **entry_points.OPINION_ORDER)

# (call, exception type, message or None, the parameter named by the note or None). The binder's
# messages: one of each form, over constructors, methods and functions.
FAILURES = [
    (lambda b: LocalBook(1), "TypeError", "LocalBook.__new__() takes 0 positional arguments but 1 was given", None),
    (lambda b: b.add("bid", 1, 2, 3), "TypeError", "LocalBook.add() takes 3 positional arguments but 4 were given", None),
    (lambda b: b.levels(1, 2), "TypeError", "LocalBook.levels() takes from 0 to 1 positional arguments but 2 were given", None),
    (lambda b: _core.router_view(book=b), "TypeError", "router_view() missing 1 required positional argument: 'flip'", None),
    (lambda b: b.add(), "TypeError", "LocalBook.add() missing 3 required positional arguments: 'side', 'price' and 'delta'", None),
    (lambda b: Secp256k1Signer(KEY, private_key=KEY), "TypeError", "Secp256k1Signer.__new__() got multiple values for argument 'private_key'", None),
    # An unexpected keyword is reported before missing arguments.
    (lambda b: SIGNER.opinion_sign_order(fee=1), "TypeError", "Secp256k1Signer.opinion_sign_order() got an unexpected keyword argument 'fee'", None),
    # The star parameter collects positional extras only.
    (lambda b: b.bids.pop(1, default=2), "TypeError", "BookSide.pop() got an unexpected keyword argument 'default'", None),
    # Conversion failures carry a note naming the parameter.
    (lambda b: b.set("bid", "\ud800", 1), "ValueError", "Failed to parse", "price"),  # not even UTF-8
    (lambda b: b.add(5, 1, 1), "TypeError", "'int' object is not an instance of 'str'", "side"),
    (lambda b: b.levels(-1), "OverflowError", None, "depth"),
    (lambda b: b.levels(1.0), "TypeError", None, "depth"),
    (lambda b: setattr(b, "ready", 1), "TypeError", "'int' object is not an instance of 'bool'", "value"),
    (lambda b: b.bids.__setitem__("abc", 1), "ValueError", "Failed to parse", "price"),
    (lambda b: _core.kalshi_book_message(raw="", books=[]), "TypeError", "'list' object is not an instance of 'dict'", "books"),
    (lambda b: KALSHI_MESSAGE.apply(None), "TypeError", "'None' is not an instance of 'dict'", "books"),
    (lambda b: OPINION_CHANGE.apply(book={}), "TypeError", "'dict' object is not an instance of 'LocalBook'", "book"),
    # A failed write, its input read part way; what fails inside a container carries no note.
    (lambda b: b.replace([(0.5, 10), [0.6, 1]], []), "TypeError", f"'list' {NOT_TUPLE}", None),
    (lambda b: b.replace([(0.5,)], []), "ValueError", "expected tuple of length 2, but got tuple of length 1", None),
    (lambda b: b.replace([], [(1, "x")]), "ValueError", "Failed to parse", None),
    (lambda b: b.replace([], (("0.1", 1 / x) for x in (1, 0))), "ZeroDivisionError", "division by zero", None),
    # A view iterates prices, not pairs, also when it is a view of the book being written.
    (lambda b: setattr(b, "asks", b.asks), "TypeError", f"'Decimal' {NOT_TUPLE}", None),
    # What the core refuses: mirrored prices that meet, a size past the mantissa.
    (lambda b: b.mirrored(10**28), INVARIANT, "Mirrored prices collided", None),
    (lambda b: b.add("ask", "1E-28", "79228162514264337593543950335"), INVARIANT, "Addition overflowed", None),
    # Python code run by an argument's conversion touches the book the method holds. Through the
    # book's own methods that is a RuntimeError; through a view or the router an internal failure.
    # (`replace` and the side setters read their input before taking the book: test_book_model.)
    (lambda b: b.add("bid", IndexHook(lambda: b.best_bid), 1), RUNTIME, SHARED, "price"),
    (lambda b: b.levels(IndexHook(lambda: setattr(b, "ready", True))), RUNTIME, EXCLUSIVE, "depth"),
    (lambda b: setattr(b, "ready", NumpyBool(lambda: b.timestamp)), RUNTIME, SHARED, "value"),
    (lambda b: b.set("bid", StrHook(lambda: "0.5" in b.asks), 1), INVARIANT, SHARED, "price"),
    (lambda b: b.levels(IndexHook(lambda: b.bids.__setitem__("0.1", 1))), INVARIANT, EXCLUSIVE, "depth"),
    (lambda b: b.set("bid", StrHook(lambda: _core.router_view(b, False)), 1), INVARIANT, SHARED, "price"),
    # The order signers: the first failure decides, every argument's type being checked before any
    # text is parsed; parse failures (whose texts are the core's tests') carry no note. Polymarket
    # addresses must be checksummed, Opinion's not.
    (lambda b: polymarket_hash(salt=5), "TypeError", "'int' object is not an instance of 'str'", "salt"),
    (lambda b: opinion_sign(side="1"), "TypeError", NOT_INT, "side"),
    (lambda b: opinion_sign(side=256), "OverflowError", OUT_OF_RANGE, "side"),
    (lambda b: polymarket_sign(maker=FLIPPED), "ValueError", f'not a checksummed address: "{FLIPPED}"', None),
    (lambda b: opinion_sign(exchange=SIGNER.address + " "), "ValueError", f'not an address: "{SIGNER.address} "', None),
    (lambda b: polymarket_hash(salt="x", maker="y"), "ValueError", 'not a uint256: "x"', None),
    (lambda b: polymarket_sign(maker="y", builder="z"), "ValueError", 'not an address: "y"', None),
    (lambda b: polymarket_sign(salt="x", neg_risk=0), "TypeError", NOT_BOOL, "neg_risk"),
    (lambda b: polymarket_hash(metadata="x", side=300), "OverflowError", OUT_OF_RANGE, "side"),
    (lambda b: Secp256k1Signer(b"ab" * 32), "TypeError", "'bytes' object is not an instance of 'str'", "private_key"),
    (lambda b: SIGNER.sign_digest(b"\0" * 31), "ValueError", "a digest is 32 bytes, got 31", None),
    (lambda b: SIGNER.sign_digest(bytearray(32)), "TypeError", "'bytearray' object is not an instance of 'bytes'", "digest"),
    # The signer can be neither changed nor copied: it holds the key.
    (lambda b: setattr(SIGNER, "address", "0x" + "00" * 20), "AttributeError", None, None),
    (lambda b: delattr(SIGNER, "address"), "AttributeError", None, None),
    (lambda b: setattr(Secp256k1Signer, "__repr__", repr), "TypeError", None, None),
    (lambda b: type("Sub", (Secp256k1Signer,), {}), "TypeError", None, None),
    (lambda b: pickle.dumps(SIGNER), "TypeError", None, None),
    (lambda b: copy.copy(SIGNER), "TypeError", None, None),
    (lambda b: SIGNER.__dict__, "AttributeError", None, None),
]  # fmt: skip


@pytest.mark.parametrize(("call", "kind", "message", "note"), FAILURES)
def test_failures_change_nothing(call, kind, message, note, snapshot):
    book = LocalBook()
    book.replace([("0.5", 1)], [("1E-28", 5), ("2E-28", 7)])  # which mirrored at 10**28 collide
    book.invalidate()  # which a failed `replace` leaves so
    book.sequence = 3
    before = snapshot(book)
    with pytest.raises(BaseException) as info:
        call(book)
    assert type(info.value).__name__ == kind and message in (None, str(info.value))
    assert isinstance(info.value, Exception) is (kind != INVARIANT)
    assert getattr(info.value, "__notes__", []) == [f"while processing '{note}'"] * bool(note)
    assert snapshot(book) == before
    assert str(book.set("bid", "0.1", 1)) == "1"  # every access was released


def test_shared_accesses_nest():
    book = LocalBook()
    book.set("ask", "0.6", 2)
    _, asks = book.levels(IndexHook(lambda: (book.best_ask, book.levels(), book.asks["0.6"])))
    assert [(level.price, level.size) for level in asks] == [(Decimal("0.6"), 2)]
    assert book.mirrored(StrHook(lambda: book.asks == {0.6: 2}, "1")).bids == {0.4: 2}


# The docstrings whose wording is fixed. Parameter names, kinds and defaults are checked against
# the stubs by stubtest (make typecheck), which needs each callable to have a text signature.
DOCSTRINGS = [
    (LocalBook,
     "One side of a market's book: price -> size on each side, plus readiness.\n\n"
     "`ready` is false until a snapshot has been applied and becomes false again\n"
     "when the stream loses confidence in it (a gap, a reconnect); a book that\n"
     "is not ready ignores deltas rather than applying them to a stale base."),
    (BookSide,
     "One side of a `LocalBook`, behaving as the `dict` the pure-Python book\n"
     "keeps there: `book.bids[price]`, `price in book.bids`, `.get`, `.items()`,\n"
     "`len(...)`, equality with a plain dict. It is a live view: it reads and\n"
     "writes the book it came from. Keys iterate in ascending price order."),
    (LocalBook.levels, "Bids best first (descending), asks best first (ascending)."),
    (LocalBook.mirrored, "The other side's view: bids become asks at `1 - p`."),
    (BookSide.copy, "A plain `dict` copy of these levels."),
    (LocalBook.bids, "The bid levels, as a live price -> size mapping."),
    (LocalBook.asks, "The ask levels, as a live price -> size mapping."),
    (_core.KalshiBookMessage, "One decoded book message, not yet applied."),
    (_core.KalshiBookMessage.seq, "`seq` as sent, for `book.sequence` and the event."),
    (_core.KalshiBookMessage.kind, "The message's `type`: `orderbook_snapshot` or `orderbook_delta`."),
    (_core.KalshiBookMessage.seq_number, "`int(seq)`, for the sequence check; `None` without one."),
    (_core.OpinionDepthChange, "One decoded Opinion depth change, not yet applied."),
    (_core.RouterLevels, "One side of the members' books merged and sorted best-net first."),
    (Secp256k1Signer.address, "The key's address, checksummed."),
    (Secp256k1Signer.sign_digest,
     "`r || s || v` over a 32-byte digest, as `Account._sign_hash` gives it."),
    (_core.polymarket_order_hash,
     "The Polymarket order's EIP-712 digest, `0x`-hex: the id the CLOB gives it."),
    (Secp256k1Signer.polymarket_sign_order,
     "The Polymarket order's signature, `0x`-hex, for its wallet type."),
    (Secp256k1Signer.opinion_sign_order,
     "The Opinion order's signature, `0x`-hex, over the market's exchange."),
]  # fmt: skip


@pytest.mark.parametrize(("target", "doc"), DOCSTRINGS)
def test_fixed_docstrings(target, doc):
    assert target.__doc__ == doc


def test_every_callable_has_a_text_signature():
    functions = [
        value for value in vars(_core).values() if callable(value) and value not in CLASSES
    ]
    methods = [
        v for cls in CLASSES for name, v in vars(cls).items() if callable(v) and name[0] != "_"
    ]
    for target in functions + methods + CONSTRUCTED:
        inspect.signature(target)  # raises without a text signature
