"""Every public entry point of the module, on its success path and on its failure paths with odd
values: `CALLS` maps a name to a call of no arguments that must not raise (an `Exception` is caught
inside), and `ARGUMENTS` holds the objects those calls pass, whose reference counts must not move.
`tests/runtime/test_objects.py` runs the table under pytest; `leaks.py` repeats it 10^4 times."""

import contextlib
import sys
from decimal import Decimal
from itertools import product
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "fuzz"))

import frames
from orvane._core import (
    LocalBook,
    Secp256k1Signer,
    kalshi_book_message,
    opinion_depth,
    polymarket_market,
    polymarket_order_hash,
    polymarket_us_market_data,
    router_levels,
    router_view,
)

KALSHI_SNAPSHOT, KALSHI_DELTA = frames.SEEDS["kalshi_book_message"]
(OPINION,) = frames.SEEDS["opinion_depth"]
POLYMARKET_BOOK, POLYMARKET_CHANGE, _ = frames.SEEDS["polymarket_market"]
POLYMARKET_US, _ = frames.SEEDS["polymarket_us_market_data"]
KEY = "0x4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
SIGNER = Secp256k1Signer(KEY)
ADDRESS = SIGNER.address
DIGEST = bytes(range(32))
POLYMARKET_ORDER = {
    "salt": "12345", "maker": ADDRESS, "signer": ADDRESS, "token_id": "7" * 70,
    "maker_amount": "1000000", "taker_amount": "2000000", "side": 0, "signature_type": 0,
    "timestamp": "1700000000", "metadata": "0x", "builder": "0x01", "neg_risk": False,
}  # fmt: skip
OPINION_ORDER = {
    "salt": "1", "maker": ADDRESS, "signer": ADDRESS, "taker": "0x" + "0" * 40, "token_id": "2",
    "maker_amount": "3", "taker_amount": "4", "expiration": "0", "nonce": "0", "fee_rate_bps": "0",
    "side": 1, "signature_type": 0, "exchange": "0x5F45344126D6488025B0b84A3A8189F2487a7246",
}  # fmt: skip

fee = lambda market_id, price, one: price * Decimal("0.01")
raising_fee = lambda market_id, price, one: 1 / 0
BOOK = LocalBook()
BOOK.replace([("0.45", "100"), ("0.44", "250")], [("0.47", "80")])
KALSHI_BOOKS, POLYMARKET_BOOKS, US_BOOKS = {}, {}, {}
KALSHI_MESSAGE = kalshi_book_message(KALSHI_SNAPSHOT, KALSHI_BOOKS)
KALSHI_MESSAGE.apply(KALSHI_BOOKS)
polymarket_market(POLYMARKET_BOOK, POLYMARKET_BOOKS, {}, {})
polymarket_us_market_data(POLYMARKET_US, US_BOOKS)
KALSHI_DO = kalshi_book_message(KALSHI_DELTA, KALSHI_BOOKS)
KALSHI_UNDO = kalshi_book_message(KALSHI_DELTA.replace('"1"', '"-1"'), KALSHI_BOOKS)
OPINION_CHANGE = opinion_depth(OPINION)
MEMBERS = [("a", router_view(BOOK, False)[1]), ("b", router_view(BOOK, True)[1])]
LADDER = router_levels(MEMBERS, fee, True)
QUANTITY, LIMIT, PRICE = Decimal(50), Decimal("0.9"), Decimal("0.30")
NOT_A_BOOK = {"T": 5, "A": 5}
SIDE = BOOK.bids


class BadText:
    def __str__(self):
        raise LookupError("no text")


# Odd values, each passed in turn for each argument of every call below: most take failure paths.
VALUES = {
    "decimal": Decimal("0.5"), "text": "0.75", "bad-text": "abc", "wide-int": 2**70,
    "negative": -1, "bytes": b"\x01" * 5, "no-str": BadText(),
}  # fmt: skip
ODD_BOOK = LocalBook()
ARGUMENTS = [
    KEY, DIGEST, BOOK, KALSHI_BOOKS, POLYMARKET_BOOKS, US_BOOKS, fee, raising_fee, MEMBERS, QUANTITY,
    LIMIT, PRICE, NOT_A_BOOK, SIGNER, KALSHI_MESSAGE, OPINION_CHANGE, LADDER, ODD_BOOK, SIDE,
    *(text for texts in frames.SEEDS.values() for text in texts), *VALUES.values(),
    *POLYMARKET_ORDER.values(), *OPINION_ORDER.values(),
    # the decoders' books, which a snapshot refills in place
    *KALSHI_BOOKS.values(), *POLYMARKET_BOOKS.values(), *US_BOOKS.values(),
    # the module's types, which each instance holds until it goes
    *{type(o) for o in (SIGNER, BOOK, SIDE, LADDER, KALSHI_MESSAGE, OPINION_CHANGE)},
]  # fmt: skip
# From CPython 3.12 on, small ints, True and the like are immortal: a stable-ABI module built with
# 3.11's headers still counts down their (huge) reference counts, which is harmless and expected.
ARGUMENTS = [o for o in ARGUMENTS if sys.getrefcount(o) < 2**30]


def odd(function, *args, **kwargs):
    """A call on a failure path: it may raise an `Exception`, and nothing else."""

    def run():
        with contextlib.suppress(Exception):
            function(*args, **kwargs)

    return run


def described(name, function, *args, **kwargs):
    """A call that succeeds, then the same call with each argument in turn made each odd value."""
    calls = {name: lambda: function(*args, **kwargs)}
    for slot, (label, value) in product([*range(len(args)), *kwargs], VALUES.items()):
        odd_args = [value if i == slot else x for i, x in enumerate(args)]
        odd_kwargs = {key: value if key == slot else x for key, x in kwargs.items()}
        calls[f"{name} [{slot}: {label}]"] = odd(function, *odd_args, **odd_kwargs)
    return calls


DESCRIBED = [
    ("set", ODD_BOOK.set, "bid", "0.3", 1),
    ("add", ODD_BOOK.add, "ask", "0.6", 1),
    ("replace", ODD_BOOK.replace, [("0.1", 1)], [("0.9", 2)]),
    ("levels", ODD_BOOK.levels, 2),
    ("mirrored", ODD_BOOK.mirrored, 1),
    ("getitem", SIDE.__getitem__, Decimal("0.45")),
    ("get", SIDE.get, Decimal("0.44"), None),
    ("pop", ODD_BOOK.bids.pop, PRICE, None),
    ("contains", ODD_BOOK.asks.__contains__, PRICE),
    ("setitem", ODD_BOOK.asks.__setitem__, "0.7", 1),
    ("kalshi", kalshi_book_message, KALSHI_SNAPSHOT, KALSHI_BOOKS),
    ("opinion", opinion_depth, OPINION),
    ("polymarket book", polymarket_market, POLYMARKET_BOOK, POLYMARKET_BOOKS, {}, {}),
    ("polymarket change", polymarket_market, POLYMARKET_CHANGE, POLYMARKET_BOOKS, {}, {}),
    ("polymarket us", polymarket_us_market_data, POLYMARKET_US, US_BOOKS),
    ("router_view", router_view, BOOK, True),
    ("router_levels", router_levels, MEMBERS, fee, True),
    ("walk", LADDER.walk, True, QUANTITY, LIMIT, ["b"]),
    ("signer", Secp256k1Signer, KEY),
    ("sign_digest", SIGNER.sign_digest, DIGEST),
]
# Failure paths that no flat replacement reaches: odd values inside containers, in attributes and
# in a message's apply.
ODD_CALLS = {
    "bind-failure": lambda o: ODD_BOOK.add(o, price=o),
    "replace": lambda o: ODD_BOOK.replace([(o, o)], [(1, 1)]),
    "assign": lambda o: setattr(ODD_BOOK, "bids", {o: o}),
    "equality": lambda o: ODD_BOOK.bids == {o: o},
    "fields": lambda o: (setattr(ODD_BOOK, "sequence", o), ODD_BOOK.mirrored()),
    "ready": lambda o: setattr(ODD_BOOK, "ready", o),
    "kalshi apply": lambda o: KALSHI_MESSAGE.apply({"T": o}),
    "opinion apply": lambda o: OPINION_CHANGE.apply(o),
    "polymarket": lambda o: polymarket_market(o, {"A": ODD_BOOK}, {"A": (o, o, o)}, {o: o}),
    "polymarket pending": lambda o: polymarket_market(
        POLYMARKET_CHANGE, POLYMARKET_BOOKS, {"A": (0, o, o)}, {}
    ),
    "router_levels": lambda o: router_levels([(o, [(o, o)])], lambda *_: o, True),
    "walk": lambda o: LADDER.walk(True, QUANTITY, LIMIT, [o]),
}
CALLS = {
    # success paths
    "new book": lambda: (LocalBook().replace([("0.1", 1)], [("0.9", 2)]), BOOK.mirrored()),
    "tops": lambda: (BOOK.levels(), BOOK.best_bid, BOOK.best_ask, setattr(BOOK, "sequence", None)),
    "sides": lambda: (BOOK.bids == SIDE, BOOK.asks.copy(), SIDE.copy()),
    "side views": lambda: (len(SIDE), list(SIDE), SIDE.keys(), SIDE.values(), SIDE.items()),
    "side del": lambda: (SIDE.__setitem__(PRICE, 5), SIDE.__delitem__(PRICE)),
    "kalshi snapshot": lambda: KALSHI_MESSAGE.apply(KALSHI_BOOKS),
    "kalshi delta": lambda: (KALSHI_DO.apply(KALSHI_BOOKS), KALSHI_UNDO.apply(KALSHI_BOOKS)),
    "kalshi: not a book": lambda: kalshi_book_message(KALSHI_DELTA, NOT_A_BOOK),
    "opinion apply": lambda: (OPINION_CHANGE.apply(BOOK), OPINION_CHANGE.token),
    "polymarket: not a book": lambda: polymarket_market(POLYMARKET_BOOK, NOT_A_BOOK, {}, {}),
    "router_view: not a book": lambda: router_view(NOT_A_BOOK, False),
    "router: fee raises": odd(router_levels, MEMBERS, raising_fee, False),
    "signer address": lambda: Secp256k1Signer(KEY).address,
    # success, then failure paths
    **described("order hash", polymarket_order_hash, **POLYMARKET_ORDER),
    **described("sign order", SIGNER.polymarket_sign_order, **POLYMARKET_ORDER),
    **described("opinion order", SIGNER.opinion_sign_order, **OPINION_ORDER),
    **{k: v for name, *call in DESCRIBED for k, v in described(name, *call).items()},
    # failure paths
    **{
        f"{name} [{label}]": odd(call, v)
        for name, call in ODD_CALLS.items()
        for label, v in VALUES.items()
    },
}
