"""How calls bind their arguments and report conversion failures; how the module presents itself."""

import importlib
import inspect
import sys

import orvane
import pytest
from orvane import _core
from orvane._core import (
    BookSide,
    KalshiBookMessage,
    LocalBook,
    OpinionDepthChange,
    RouterLevels,
    Secp256k1Signer,
    kalshi_book_message,
    opinion_depth,
    polymarket_market,
    polymarket_order_hash,
    router_levels,
)

# Everything the module may register, in the order it registers it.
REGISTRATION_ORDER = [
    "LocalBook", "BookSide", "KalshiBookMessage", "kalshi_book_message", "polymarket_market",
    "OpinionDepthChange", "Secp256k1Signer", "RouterLevels", "router_view", "router_levels",
    "polymarket_order_hash", "opinion_depth", "polymarket_us_market_data",
]  # fmt: skip
CLASSES = [
    LocalBook,
    BookSide,
    KalshiBookMessage,
    OpinionDepthChange,
    RouterLevels,
    Secp256k1Signer,
]
KALSHI = '{"type":"orderbook_delta","msg":{"price_dollars":"0.5","delta_fp":"1"}}'
OPINION = '{"msgType":"market.depth.diff","price":"0.5","size":"1"}'
KEY = "0x4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"


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
        assert fresh is not saved
        assert fresh.LocalBook is LocalBook and fresh.BookSide is BookSide
        assert isinstance(book, fresh.LocalBook)
    finally:
        sys.modules["orvane._core"] = orvane._core = saved


@pytest.mark.parametrize("cls", [BookSide, KalshiBookMessage, OpinionDepthChange, RouterLevels])
def test_classes_made_only_by_the_module_are_immutable(cls):
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError, match="immutable type"):
        cls.apply = None


# (display name, args, kwargs, message after the display name): every entry point's binder.
BINDING_FAILURES = [
    ("LocalBook.__new__", (1,), {}, "takes 0 positional arguments but 1 was given"),
    ("LocalBook.__new__", (), {"x": 1}, "got an unexpected keyword argument 'x'"),
    ("LocalBook.add", ("bid", 1), {}, "missing 1 required positional argument: 'delta'"),
    ("LocalBook.add", (), {}, "missing 3 required positional arguments: 'side', 'price' and 'delta'"),
    ("LocalBook.set", (), {"price": 1}, "missing 2 required positional arguments: 'side' and 'size'"),
    ("LocalBook.add", ("bid", 1, 2, 3), {}, "takes 3 positional arguments but 4 were given"),
    ("LocalBook.add", ("bid", 1, 2), {"side": "a"}, "got multiple values for argument 'side'"),
    ("LocalBook.levels", (1, 2), {}, "takes from 0 to 1 positional arguments but 2 were given"),
    # The star parameter collects positional extras only.
    ("BookSide.pop", (1,), {"default": 2}, "got an unexpected keyword argument 'default'"),
    ("polymarket_market", ("[]", {}, {}), {}, "missing 1 required positional argument: 'markets'"),
    ("router_view", (), {"book": None}, "missing 1 required positional argument: 'flip'"),
    ("RouterLevels.walk", (True, 1, 1, []), {"x": 1}, "got an unexpected keyword argument 'x'"),
    ("Secp256k1Signer.__new__", (KEY,), {"private_key": KEY}, "got multiple values for argument 'private_key'"),
    ("Secp256k1Signer.opinion_sign_order", (), {"fee": 1}, "got an unexpected keyword argument 'fee'"),
]  # fmt: skip


def bound(name, book):
    owner, _, method = name.rpartition(".")
    if method == "__new__":
        return getattr(_core, owner)
    targets = {"": _core, "LocalBook": book, "BookSide": book.bids, "RouterLevels": LEVELS,
               "Secp256k1Signer": Secp256k1Signer(KEY)}  # fmt: skip
    return getattr(targets[owner], method)


@pytest.mark.parametrize(("name", "args", "kwargs", "message"), BINDING_FAILURES)
def test_binding_failures(name, args, kwargs, message, snapshot):
    book = LocalBook()
    book.replace([("1", 1)], [("0.6", 2)])
    before = snapshot(book)
    with pytest.raises(TypeError) as info:
        bound(name, book)(*args, **kwargs)
    assert str(info.value) == f"{name}() {message}"
    assert snapshot(book) == before


def test_keyword_arguments_bind():
    book = LocalBook()
    assert book.add(delta=2, price="0.5", side="bid") == book.set(side="ask", size=2, price=1)
    book.replace(asks=[], bids=[(1, 1)])
    assert book.levels(depth=0) == ((), ()) and book.mirrored(face_value=2).asks == {1: 1}
    assert book.bids.get(price=1) == 1 and book.bids.get(2, default=5) == 5
    assert polymarket_market(raw="[]", books={}, unverified={}, markets={}) == []


PARSE = "Failed to parse"
NOT_BOOL = "is not an instance of 'bool'"
NOT_DICT = "is not an instance of 'dict'"
NOT_STR = "'bytes' object is not an instance of 'str'"

CONVERSION_FAILURES = [
    (lambda b: b.set("bid", "\ud800", 1), ValueError, PARSE, "price"),  # not even UTF-8
    (lambda b: b.set("bid", 1, "1 0"), ValueError, PARSE, "size"),
    (lambda b: b.add(5, 1, 1), TypeError, "'int' object is not an instance of 'str'", "side"),
    (lambda b: b.set(None, 1, 1), TypeError, "'None' is not an instance of 'str'", "side"),
    (lambda b: b.levels(-1), OverflowError, None, "depth"),
    (lambda b: b.levels(1.0), TypeError, None, "depth"),
    (lambda b: b.mirrored("x"), ValueError, PARSE, "face_value"),
    (lambda b: setattr(b, "ready", 1), TypeError, f"'int' object {NOT_BOOL}", "value"),
    (lambda b: b.bids.__setitem__("abc", 1), ValueError, PARSE, "price"),
    (lambda b: kalshi_book_message(b"{}", {}), TypeError, NOT_STR, "raw"),
    (lambda b: kalshi_book_message(raw="", books=[]), TypeError, f"'list' object {NOT_DICT}", "books"),
    (lambda b: kalshi_book_message(KALSHI, {}).apply(None), TypeError, f"'None' {NOT_DICT}", "books"),
    (lambda b: polymarket_market("[]", {}, None, {}), TypeError, f"'None' {NOT_DICT}", "unverified"),
    (lambda b: opinion_depth(OPINION).apply(book={}), TypeError, "'dict' object is not an instance of 'LocalBook'", "book"),
]  # fmt: skip


@pytest.mark.parametrize(("call", "kind", "message", "parameter"), CONVERSION_FAILURES)
def test_conversion_failures_carry_a_note(call, kind, message, parameter, snapshot):
    book = LocalBook()
    book.replace([("0.5", 1)], [("0.6", 2)])
    book.sequence = 7
    before = snapshot(book)
    with pytest.raises(kind) as info:
        call(book)
    assert type(info.value) is kind and (message is None or str(info.value) == message)
    assert info.value.__notes__ == [f"while processing '{parameter}'"]
    assert snapshot(book) == before
    book.invalidate()  # no access was left behind


LOCAL_BOOK_DOC = (
    "One side of a market's book: price -> size on each side, plus readiness.\n\n"
    "`ready` is false until a snapshot has been applied and becomes false again\n"
    "when the stream loses confidence in it (a gap, a reconnect); a book that\n"
    "is not ready ignores deltas rather than applying them to a stale base."
)
BOOK_SIDE_DOC = (
    "One side of a `LocalBook`, behaving as the `dict` the pure-Python book\n"
    "keeps there: `book.bids[price]`, `price in book.bids`, `.get`, `.items()`,\n"
    "`len(...)`, equality with a plain dict. It is a live view: it reads and\n"
    "writes the book it came from. Keys iterate in ascending price order."
)
LEVELS = router_levels([], lambda market_id, price, one: 0, True)

# The docstrings whose wording is fixed. Parameter names, kinds and defaults are checked against
# the stubs by stubtest (make typecheck), which needs each callable to have a text signature.
DOCSTRINGS = [
    (LocalBook, LOCAL_BOOK_DOC),
    (BookSide, BOOK_SIDE_DOC),
    (LocalBook.levels, "Bids best first (descending), asks best first (ascending)."),
    (LocalBook.mirrored, "The other side's view: bids become asks at `1 - p`."),
    (BookSide.copy, "A plain `dict` copy of these levels."),
    (LocalBook.bids, "The bid levels, as a live price -> size mapping."),
    (LocalBook.asks, "The ask levels, as a live price -> size mapping."),
    (KalshiBookMessage, "One decoded book message, not yet applied."),
    (KalshiBookMessage.seq, "`seq` as sent, for `book.sequence` and the event."),
    (KalshiBookMessage.kind, "The message's `type`: `orderbook_snapshot` or `orderbook_delta`."),
    (KalshiBookMessage.seq_number, "`int(seq)`, for the sequence check; `None` without one."),
    (OpinionDepthChange, "One decoded Opinion depth change, not yet applied."),
    (RouterLevels, "One side of the members' books merged and sorted best-net first."),
    (Secp256k1Signer.address, "The key's address, checksummed."),
    (Secp256k1Signer.sign_digest,
     "`r || s || v` over a 32-byte digest, as `Account._sign_hash` gives it."),
    (polymarket_order_hash,
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
    functions = [getattr(_core, name) for name in REGISTRATION_ORDER]
    methods = [
        value
        for cls in functions
        if isinstance(cls, type)
        for name, value in vars(cls).items()
        if callable(value) and not name.startswith("_")
    ]
    constructed = [LocalBook, Secp256k1Signer]  # the others are made by the module only
    for target in [f for f in functions if not isinstance(f, type)] + methods + constructed:
        inspect.signature(target)  # raises without a text signature
