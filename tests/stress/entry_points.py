"""Every public entry point of the module, each on its success path and on each of its failure
paths: `CALLS` maps a name to a call of no arguments that must not raise (an expected exception is
caught inside), and `ARGUMENTS` holds the objects those calls pass, whose reference counts must not
move."""

from decimal import Decimal

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

KALSHI_SNAPSHOT = (
    '{"type":"orderbook_snapshot","seq":1,"sid":2,"msg":{"market_ticker":"T","market_id":"m",'
    '"yes_dollars_fp":[["0.40","3"],["0.41","1"]],"no_dollars_fp":[["0.50","4"]]}}'
)
KALSHI_DELTA = (
    '{"type":"orderbook_delta","seq":2,"msg":{"market_ticker":"T","price_dollars":"0.40",'
    '"delta_fp":"1","side":"yes","ts_ms":1700000000000,"client_order_id":"c"}}'
)
OPINION = '{"msgType":"market.depth.diff","tokenId":"a","side":"bids","price":0.45,"size":"10"}'
POLYMARKET_BOOK = (
    '{"event_type":"book","asset_id":"A","market":"M","timestamp":"1700000000000","hash":"h",'
    '"bids":[{"price":"0.40","size":"10"}],"asks":[{"price":"0.60","size":"5"}]}'
)
POLYMARKET_CHANGE = (
    '{"event_type":"price_change","market":"M","timestamp":"1700000000001","price_changes":'
    '[{"asset_id":"A","side":"BUY","price":"0.41","size":"3","best_bid":"0.41","best_ask":"0.6"}]}'
)
POLYMARKET_US = (
    '{"marketData":{"marketSlug":"s","bids":[{"px":"0.45","qty":"10"}],'
    '"offers":[{"px":"0.55","qty":"2"}],"stats":{"openInterest":7}}}'
)


def fee(market_id, price, one):
    return price * Decimal("0.01")


def raising_fee(market_id, price, one):
    raise ArithmeticError("no fee")


BOOK = LocalBook()
BOOK.replace([("0.45", "100"), ("0.44", "250")], [("0.47", "80")])
KALSHI_BOOKS, POLYMARKET_BOOKS, US_BOOKS = {}, {}, {}
KALSHI_MESSAGE = kalshi_book_message(KALSHI_SNAPSHOT, KALSHI_BOOKS)
KALSHI_MESSAGE.apply(KALSHI_BOOKS)
KALSHI_DELTA_MESSAGE = kalshi_book_message(KALSHI_DELTA, KALSHI_BOOKS)
KALSHI_UNDO = kalshi_book_message(KALSHI_DELTA.replace('"1"', '"-1"'), KALSHI_BOOKS)
OPINION_CHANGE = opinion_depth(OPINION)
MEMBERS = [("a", router_view(BOOK, False)[1]), ("b", router_view(BOOK, True)[1])]
LADDER = router_levels(MEMBERS, fee, True)
QUANTITY, LIMIT = Decimal(50), Decimal("0.9")
NOT_A_BOOK = {"T": 5, "A": 5}

ARGUMENTS = [
    KEY, DIGEST, BOOK, KALSHI_BOOKS, POLYMARKET_BOOKS, US_BOOKS, KALSHI_SNAPSHOT, KALSHI_DELTA,
    OPINION, POLYMARKET_BOOK, POLYMARKET_CHANGE, POLYMARKET_US, fee, raising_fee, MEMBERS,
    QUANTITY, LIMIT, NOT_A_BOOK, SIGNER, KALSHI_MESSAGE, OPINION_CHANGE, LADDER,
    *POLYMARKET_ORDER.values(), *OPINION_ORDER.values(),
]  # fmt: skip


def expect(kind, call):
    def run():
        try:
            call()
        except kind:
            return
        raise AssertionError(f"{kind.__name__} expected")

    return run


def book_side_round_trip():
    side = BOOK.bids
    side[Decimal("0.30")] = 5
    assert Decimal("0.30") in side and side.get(Decimal("0.30")) == 5
    del side[Decimal("0.30")]
    side.pop(Decimal("0.31"), None)
    return len(side), list(side), side.keys(), side.values(), side.items(), side.copy()


CALLS = {
    # the book and its sides
    "LocalBook()": LocalBook,
    "add": lambda: (BOOK.add("bid", "0.30", "1"), BOOK.add("bid", "0.30", "-1")),
    "add: bad price": expect(ValueError, lambda: BOOK.add("bid", "abc", "1")),
    "set: bad side": expect(TypeError, lambda: BOOK.set(5, "0.3", "1")),
    "levels": lambda: (BOOK.levels(), BOOK.levels(1), BOOK.best_bid, BOOK.best_ask),
    "levels: negative depth": expect(OverflowError, lambda: BOOK.levels(-1)),
    "replace": lambda: LocalBook().replace([("0.1", 1)], [("0.9", 2)]),
    "replace: bad pair": expect(ValueError, lambda: LocalBook().replace([("x", 1)], [])),
    "mirrored": lambda: BOOK.mirrored(),
    "mirrored: bad face value": expect(ValueError, lambda: BOOK.mirrored("x")),
    "sides": lambda: (BOOK.bids == BOOK.bids, BOOK.asks.copy()),
    "side round trip": book_side_round_trip,
    "side: missing price": expect(KeyError, lambda: BOOK.bids[Decimal("0.99")]),
    "side: bad size": expect(ValueError, lambda: BOOK.asks.__setitem__("0.9", "x")),
    "attributes": lambda: setattr(BOOK, "sequence", BOOK.sequence),
    "ready: not a bool": expect(TypeError, lambda: setattr(BOOK, "ready", 1)),
    # venues
    "kalshi snapshot": lambda: kalshi_book_message(KALSHI_SNAPSHOT, KALSHI_BOOKS).apply(
        KALSHI_BOOKS
    ),
    "kalshi delta": lambda: (
        KALSHI_DELTA_MESSAGE.apply(KALSHI_BOOKS),
        KALSHI_UNDO.apply(KALSHI_BOOKS),
    ),
    "kalshi: not a book": lambda: kalshi_book_message(KALSHI_DELTA, NOT_A_BOOK),
    "kalshi: not JSON": lambda: kalshi_book_message("{", KALSHI_BOOKS),
    "kalshi: raw not a str": expect(TypeError, lambda: kalshi_book_message(b"{}", {})),
    "kalshi apply: not a book": expect(TypeError, lambda: KALSHI_MESSAGE.apply(NOT_A_BOOK)),
    "opinion": lambda: (opinion_depth(OPINION).apply(BOOK), OPINION_CHANGE.token),
    "opinion: not JSON": lambda: opinion_depth("[1"),
    "polymarket book and change": lambda: (
        polymarket_market(POLYMARKET_BOOK, POLYMARKET_BOOKS, {}, {}),
        polymarket_market(POLYMARKET_CHANGE, POLYMARKET_BOOKS, {}, {}),
    ),
    "polymarket: not a book": lambda: polymarket_market(POLYMARKET_BOOK, NOT_A_BOOK, {}, {}),
    "polymarket: bad pending check": lambda: polymarket_market(
        POLYMARKET_CHANGE, POLYMARKET_BOOKS, {"A": (1, 2)}, {}
    ),
    "polymarket us": lambda: polymarket_us_market_data(POLYMARKET_US, US_BOOKS),
    "polymarket us: not JSON": lambda: polymarket_us_market_data("]", US_BOOKS),
    # router
    "router_view": lambda: router_view(BOOK, True),
    "router_view: not a book": lambda: router_view(NOT_A_BOOK, False),
    "router_levels and walk": lambda: router_levels(MEMBERS, fee, True).walk(
        True, QUANTITY, LIMIT, ["b"]
    ),
    "router_levels: fee raises": expect(
        ArithmeticError, lambda: router_levels(MEMBERS, raising_fee, False)
    ),
    "walk: inexact": lambda: LADDER.walk(True, 0.1, LIMIT, []),
    # signing
    "signer": lambda: (Secp256k1Signer(KEY).address, SIGNER.sign_digest(DIGEST)),
    "signer: bad key": expect(ValueError, lambda: Secp256k1Signer("0x12")),
    "sign_digest: bad digest": expect(ValueError, lambda: SIGNER.sign_digest(b"short")),
    "polymarket order": lambda: (
        polymarket_order_hash(**POLYMARKET_ORDER),
        SIGNER.polymarket_sign_order(**POLYMARKET_ORDER),
    ),
    "polymarket order: bad maker": expect(
        ValueError, lambda: polymarket_order_hash(**POLYMARKET_ORDER | {"maker": "0x1"})
    ),
    "opinion order": lambda: SIGNER.opinion_sign_order(**OPINION_ORDER),
    "opinion order: side out of range": expect(
        OverflowError, lambda: SIGNER.opinion_sign_order(**OPINION_ORDER | {"side": 256})
    ),
}
