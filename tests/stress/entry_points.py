"""Every public entry point of the module, on its success path and on its failure paths with odd
values: `CALLS` maps a name to a call of no arguments that must not raise (an `Exception` is caught
inside), and `ARGUMENTS` holds the objects those calls pass, whose reference counts must not move.
`tests/runtime/test_objects.py` runs the table under pytest; `leaks.py` repeats it 10^4 times."""

import contextlib
import sys
from decimal import Decimal
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "fuzz"))

from frames import (
    KALSHI_DELTA,
    KALSHI_SNAPSHOT,
    OPINION,
    POLYMARKET_BOOK,
    POLYMARKET_CHANGE,
    POLYMARKET_US,
)
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
KALSHI_DO = kalshi_book_message(KALSHI_DELTA, KALSHI_BOOKS)
KALSHI_UNDO = kalshi_book_message(KALSHI_DELTA.replace('"1"', '"-1"'), KALSHI_BOOKS)
OPINION_CHANGE = opinion_depth(OPINION)
MEMBERS = [("a", router_view(BOOK, False)[1]), ("b", router_view(BOOK, True)[1])]
LADDER = router_levels(MEMBERS, fee, True)
QUANTITY, LIMIT, PRICE = Decimal(50), Decimal("0.9"), Decimal("0.30")
NOT_A_BOOK = {"T": 5, "A": 5}


class BadText:
    def __str__(self):
        raise LookupError("no text")


# Odd values, passed in turn to every call of `ODD_CALLS` (with a spare book): most take the
# failure paths.
VALUES = {
    "decimal": Decimal("0.5"), "text": "0.75", "bad-text": "abc", "wide-int": 2**70,
    "negative": -1, "bytes": b"\x01" * 5, "no-str": BadText(),
}  # fmt: skip
ODD_BOOK = LocalBook()
ODD_CALLS = {
    "set": lambda b, o: b.set("bid", o, 1),
    "side": lambda b, o: b.set(o, "0.3", 1),
    "add": lambda b, o: b.add("ask", "0.6", o),
    "bind-failure": lambda b, o: b.add(o, price=o),
    "replace": lambda b, o: b.replace([(o, o)], [(1, 1)]),
    "assign": lambda b, o: setattr(b, "bids", {o: o}),
    "setitem": lambda b, o: b.asks.__setitem__(o, 1),
    "getitem": lambda b, o: b.bids[o],
    "get": lambda b, o: b.bids.get(o, o),
    "pop": lambda b, o: b.bids.pop(o, o),
    "contains": lambda b, o: o in b.asks,
    "equality": lambda b, o: b.bids == {o: o},
    "levels": lambda b, o: b.levels(o),
    "mirrored": lambda b, o: b.mirrored(o),
    "fields": lambda b, o: (setattr(b, "sequence", o), b.mirrored(), setattr(b, "sequence", None)),
    "ready": lambda b, o: setattr(b, "ready", o),
    "kalshi": lambda b, o: kalshi_book_message(o, {"T": b}),
    "kalshi apply": lambda b, o: KALSHI_MESSAGE.apply({"T": o}),
    "opinion": lambda b, o: opinion_depth(o).apply(b),
    "polymarket": lambda b, o: polymarket_market(o, {"A": b}, {"A": (o, o, o)}, {o: o}),
    "polymarket pending": lambda b, o: polymarket_market(
        POLYMARKET_CHANGE, POLYMARKET_BOOKS, {"A": (0, o, o)}, {}
    ),
    "polymarket_us": lambda b, o: polymarket_us_market_data(o, {"s": b}),
    "router_view": lambda b, o: (router_view(b, o), router_view(o, False)),
    "router_levels": lambda b, o: router_levels([(o, [(o, o)])], lambda *_: o, True),
    "walk": lambda b, o: LADDER.walk(True, o, o, [o]),
    "signer": lambda b, o: Secp256k1Signer(o),
    "sign_digest": lambda b, o: SIGNER.sign_digest(o),
    "order_hash": lambda b, o: polymarket_order_hash(*[o] * 11, o),
    "sign_order": lambda b, o: SIGNER.polymarket_sign_order(*[o] * 6, 0, 0, o, o, o, False),
    "opinion order": lambda b, o: SIGNER.opinion_sign_order(**OPINION_ORDER | {"side": o}),
}
ARGUMENTS = [
    KEY, DIGEST, BOOK, KALSHI_BOOKS, POLYMARKET_BOOKS, US_BOOKS, KALSHI_SNAPSHOT, KALSHI_DELTA,
    OPINION, POLYMARKET_BOOK, POLYMARKET_CHANGE, POLYMARKET_US, fee, raising_fee, MEMBERS,
    QUANTITY, LIMIT, PRICE, NOT_A_BOOK, SIGNER, KALSHI_MESSAGE, OPINION_CHANGE, LADDER,
    *POLYMARKET_ORDER.values(), *OPINION_ORDER.values(), *VALUES.values(), ODD_BOOK,
]  # fmt: skip
# From CPython 3.12 on, small ints, True and the like are immortal: a stable-ABI module built with
# 3.11's headers still counts down their (huge) reference counts, which is harmless and expected.
ARGUMENTS = [o for o in ARGUMENTS if sys.getrefcount(o) < 2**30]


def odd(call, value):
    def run():
        with contextlib.suppress(Exception):
            call(ODD_BOOK, value)

    return run


def book_side_round_trip():
    side = BOOK.bids
    side[PRICE] = 5
    assert PRICE in side and side.get(PRICE) == 5
    del side[PRICE]
    side.pop(Decimal("0.31"), None)
    return len(side), list(side), side.keys(), side.values(), side.items(), side.copy()


CALLS = {
    # success paths
    "replace": lambda: LocalBook().replace([("0.1", 1)], [("0.9", 2)]),
    "add": lambda: (BOOK.add("bid", PRICE, "1"), BOOK.add("bid", PRICE, "-1")),
    "levels": lambda: (BOOK.levels(), BOOK.levels(1), BOOK.best_bid, BOOK.best_ask),
    "mirrored": lambda: (BOOK.mirrored(), setattr(BOOK, "sequence", BOOK.sequence)),
    "sides": lambda: (BOOK.bids == BOOK.bids, BOOK.asks.copy()),
    "side round trip": book_side_round_trip,
    "kalshi snapshot": lambda: KALSHI_MESSAGE.apply(KALSHI_BOOKS),
    "kalshi delta": lambda: (KALSHI_DO.apply(KALSHI_BOOKS), KALSHI_UNDO.apply(KALSHI_BOOKS)),
    "kalshi decode": lambda: kalshi_book_message(KALSHI_SNAPSHOT, KALSHI_BOOKS),
    "kalshi: not a book": lambda: kalshi_book_message(KALSHI_DELTA, NOT_A_BOOK),
    "opinion": lambda: (opinion_depth(OPINION).apply(BOOK), OPINION_CHANGE.token),
    "polymarket book": lambda: polymarket_market(POLYMARKET_BOOK, POLYMARKET_BOOKS, {}, {}),
    "polymarket change": lambda: polymarket_market(POLYMARKET_CHANGE, POLYMARKET_BOOKS, {}, {}),
    "polymarket: not a book": lambda: polymarket_market(POLYMARKET_BOOK, NOT_A_BOOK, {}, {}),
    "polymarket us": lambda: polymarket_us_market_data(POLYMARKET_US, US_BOOKS),
    "router_view": lambda: (router_view(BOOK, True), router_view(NOT_A_BOOK, False)),
    "router": lambda: router_levels(MEMBERS, fee, True).walk(True, QUANTITY, LIMIT, ["b"]),
    "router: fee raises": odd(lambda b, o: router_levels(MEMBERS, raising_fee, False), 0),
    "signer": lambda: (Secp256k1Signer(KEY).address, SIGNER.sign_digest(DIGEST)),
    "order hash": lambda: polymarket_order_hash(**POLYMARKET_ORDER),
    "sign order": lambda: SIGNER.polymarket_sign_order(**POLYMARKET_ORDER),
    "opinion order": lambda: SIGNER.opinion_sign_order(**OPINION_ORDER),
    # failure paths
    **{
        f"{name} [{label}]": odd(call, value)
        for name, call in ODD_CALLS.items()
        for label, value in VALUES.items()
    },
}
