"""A tour of orvane._core on recorded market data (examples/frames/, one raw frame a line).

1. Replays the frames of four venues through their decoders into local books, printing the top of
   every book as the stream advances.
2. Routes one question across the venues: `router_view` of each member's book in the question's
   terms, a fee-adjusted ladder from `router_levels`, and a walk for a quantity.
3. Hashes and signs the Polymarket part of that trade as an EIP-712 order with a throwaway key,
   and checks that the signature recovers to the signer's address.
4. Times the replay.

Runs offline; everything but the timing line is the same on every run. Needs only orvane._core;
the recovery check uses eth-account when it is installed.
"""

import hashlib
import time
from collections.abc import Callable, Iterator
from decimal import Decimal
from pathlib import Path
from typing import TypedDict

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
from orvane.ws.base import BookLevel

FRAMES = Path(__file__).with_name("frames")

# Instruments by venue key, with a short name to show.
NAMES = {
    "71321045679252212594626385532706912750332728571942532289631379312455583992563": "Fed cut Mar-27 YES",
    "52114319501245915516055106046884209969926127482827954674443846427813813222426": "Fed cut Mar-27 NO",
    "fed-cut-march-2027": "Fed cut Mar-27",
    "nba-finals-2027-celtics": "Celtics win 2027 finals",
    "KXFEDDECISION-27MAR-C25": "Fed cut 25bp Mar-27",
    "KXCPIYOY-27JAN-T2.8": "CPI YoY Jan-27 > 2.8%",
    "36910238578810942862148853624126532651426883297001786203451230876452004631958": "Fed holds Mar-27 YES",
    "8823701665231404751983042612735580117339981238766014937123470625197445510011": "BTC > 150k Jun-27 YES",
}  # fmt: skip
VENUES = {
    "polymarket": "Polymarket",
    "polymarket_us": "Polymarket US",
    "kalshi": "Kalshi",
    "opinion": "Opinion",
}

# "Will the Fed cut rates at its March 2027 meeting?": (venue, key, flipped). Opinion quotes the
# hold, whose NO is the cut: its book is read as 1 - p.
QUESTION = [
    ("polymarket", "71321045679252212594626385532706912750332728571942532289631379312455583992563", False),
    ("polymarket_us", "fed-cut-march-2027", False),
    ("kalshi", "KXFEDDECISION-27MAR-C25", False),
    ("opinion", "36910238578810942862148853624126532651426883297001786203451230876452004631958", True),
]  # fmt: skip

# Illustrative taker fees per contract, as each venue's schedule shapes them.
FEES: dict[str, Callable[[Decimal], Decimal]] = {
    "polymarket": lambda p: Decimal(0),
    "polymarket_us": lambda p: Decimal("0.001"),
    "kalshi": lambda p: Decimal("0.07") * p * (1 - p),
    "opinion": lambda p: Decimal("0.02") * min(p, 1 - p),
}

BUY_QUANTITY = Decimal(20000)
LIMIT = Decimal("0.60")
# Throwaway: derived from a public text, holds nothing.
DEMO_KEY = hashlib.sha256(b"orvane demo throwaway key").hexdigest()
ZERO_BYTES32 = "0x" + "00" * 32


class PolymarketOrder(TypedDict):
    salt: str
    maker: str
    signer: str
    token_id: str
    maker_amount: str
    taker_amount: str
    side: int
    signature_type: int
    timestamp: str
    metadata: str
    builder: str
    neg_risk: bool


class Replay:
    """The caller's side of four venue streams: the books each decoder keeps, and counts."""

    def __init__(self) -> None:
        self.books: dict[str, dict[str, LocalBook]] = {venue: {} for venue in VENUES}
        self.unverified: dict[str, tuple[int | None, object, object]] = {}
        self.markets: dict[str, str] = {}
        self.updates: dict[str, int] = {}
        self.other = 0  # frames no decoder took (heartbeats): the Python handlers' business

    def count(self, key: str) -> None:
        self.updates[key] = self.updates.get(key, 0) + 1

    def frame(self, venue: str, raw: str) -> None:
        books = self.books[venue]
        if venue == "polymarket":
            events = polymarket_market(raw, books, self.unverified, self.markets)
            if events is None:
                self.other += 1
                return
            for event in events:
                self.count(event[1])
        elif venue == "polymarket_us":
            data = polymarket_us_market_data(raw, books)
            if data is None:
                self.other += 1
                return
            self.count(data[0])
        elif venue == "kalshi":
            message = kalshi_book_message(raw, books)
            result = None if message is None else message.apply(books)
            if result is None:
                self.other += 1
                return
            self.count(result[1])
        else:
            change = opinion_depth(raw)
            if change is None:
                self.other += 1
                return
            book = books.get(change.token)
            if book is None:
                book = books[change.token] = LocalBook()
            change.apply(book)
            self.count(change.token)


def load() -> list[tuple[str, str]]:
    """Every venue's frames, interleaved in proportion, as one stream of (venue, raw)."""
    streams = {v: (FRAMES / f"{v}.jsonl").read_text().splitlines() for v in VENUES}
    timed = [
        ((i + 1) / len(lines), venue, raw)
        for venue, lines in streams.items()
        for i, raw in enumerate(lines)
    ]
    return [(venue, raw) for _, venue, raw in sorted(timed, key=lambda t: t[0])]


def money(value: Decimal | None, places: int = 2) -> str:
    return "-" if value is None else f"{value:,.{places}f}"


def top(levels: tuple[BookLevel, ...]) -> tuple[str, str]:
    """The best level's price and size, as cells."""
    return (money(levels[0].price), money(levels[0].size, 0)) if levels else ("-", "-")


def rule(widths: list[int]) -> str:
    return "  ".join("-" * w for w in widths)


def table(rows: list[list[str]], header: list[str], right: set[int]) -> Iterator[str]:
    widths = [max(len(r[i]) for r in [header, *rows]) for i in range(len(header))]

    def line(row: list[str]) -> str:
        cells = (c.rjust(w) if i in right else c.ljust(w) for i, (c, w) in enumerate(zip(row, widths, strict=True)))  # fmt: skip
        return "  ".join(cells).rstrip()

    yield line(header)
    yield rule(widths)
    yield from (line(r) for r in rows)


def top_of_book(replay: Replay, done: int, total: int) -> None:
    print(f"\nTop of book after {done:,} of {total:,} frames")
    rows = []
    for venue, books in replay.books.items():
        for key in sorted(books, key=NAMES.__getitem__):
            book = books[key]
            bids, asks = book.levels(depth=1)
            (bid, bid_size), (ask, ask_size) = top(bids), top(asks)
            spread = None
            if book.best_bid is not None and book.best_ask is not None:
                spread = book.best_ask - book.best_bid
            depth = f"{len(book.bids)}/{len(book.asks)}"
            updates = f"{replay.updates.get(key, 0):,}"
            rows.append(
                [
                    VENUES[venue],
                    NAMES[key],
                    bid_size,
                    bid,
                    ask,
                    ask_size,
                    money(spread),
                    depth,
                    updates,
                ]
            )
    header = ["venue", "instrument", "bid size", "bid", "ask", "ask size", "spread", "levels", "updates"]  # fmt: skip
    for line in table(rows, header, right={2, 3, 4, 5, 6, 7, 8}):
        print("  " + line)


def replay_all(stream: list[tuple[str, str]]) -> Replay:
    replay = Replay()
    checkpoints = {len(stream) // 10, len(stream) // 2, len(stream)}
    for done, (venue, raw) in enumerate(stream, 1):
        replay.frame(venue, raw)
        if done in checkpoints:
            top_of_book(replay, done, len(stream))
    print(f"\n  {replay.other} frames were for the Python handlers (heartbeats)")
    return replay


def route(replay: Replay) -> tuple[str, Decimal, Decimal]:
    """Buys the question's YES across the venues; returns the Polymarket slot."""
    venue_of = {key: venue for venue, key, _ in QUESTION}
    members = []
    for venue, key, flipped in QUESTION:
        view = router_view(replay.books[venue][key], flipped)
        assert view is not None  # a LocalBook of this module without a `side` attribute
        asks, _bids = view
        members.append((key, asks))

    def fee(market_id: str, price: Decimal, quantity: Decimal) -> Decimal:
        return FEES[venue_of[market_id]](price) * quantity

    ladder = router_levels(members, fee, True)
    assert ladder is not None  # every fee above is an exact Decimal
    print("\nWill the Fed cut rates at its March 2027 meeting? Buying YES across four venues")
    print(f"  merged ask ladder: {len(ladder)} levels, best net price first (Opinion's as 1 - bid)")
    walked = ladder.walk(True, BUY_QUANTITY, LIMIT, [])
    assert walked is not None
    slots, remaining, reason = walked
    rows = [
        [
            VENUES[venue_of[m]],
            money(q, 0),
            money(cost),
            money(fee_paid),
            money(worst),
            money(cost / q, 4),
        ]
        for m, q, cost, fee_paid, worst in slots
    ]
    print(f"  walk: buy {BUY_QUANTITY:,} at a net price of at most {LIMIT}")
    header = ["venue", "quantity", "cost", "fees", "worst price", "average"]
    for line in table(rows, header, right={1, 2, 3, 4, 5}):
        print("    " + line)
    print(f"    unfilled {remaining:,}; stopped by: {reason or 'quantity filled'}")
    for m, q, _cost, _fee, worst in slots:
        if venue_of[m] == "polymarket":
            return m, q, worst
    raise SystemExit("the walk left nothing for Polymarket")


def sign(token_id: str, quantity: Decimal, price: Decimal) -> None:
    """The Polymarket slot as an order: pay up to `price` a share, in 6-decimal units."""
    signer = Secp256k1Signer(DEMO_KEY)
    order = PolymarketOrder(
        salt="479249096354",
        maker=signer.address,
        signer=signer.address,
        token_id=token_id,
        maker_amount=str(int(quantity * price * 10**6)),  # USDC paid, 6 decimals
        taker_amount=str(int(quantity * 10**6)),  # shares received, 6 decimals
        side=0,  # buy
        signature_type=0,  # signed by the key's own account
        timestamp="1767225900000",
        metadata=ZERO_BYTES32,
        builder=ZERO_BYTES32,
        neg_risk=False,
    )
    digest = polymarket_order_hash(**order)
    signature = signer.polymarket_sign_order(**order)
    print(f"\nPolymarket order: buy {quantity:,.0f} YES at {price}, signed by a throwaway key")
    print(f"  signer     {signer.address}")
    print(f"  order hash {digest}")
    print(f"  signature  {signature[:68]}\n             {signature[68:]}")
    recovered = recover(digest, signature)
    if recovered is None:
        print("  recovery check skipped: it needs eth-account (pip install eth-account)")
    else:
        verdict = "matches the signer" if recovered == signer.address else "DOES NOT MATCH"
        print(f"  recovered  {recovered}: {verdict}")
        if recovered != signer.address:
            raise SystemExit(1)


def recover(digest: str, signature: str) -> str | None:
    try:
        from eth_account import Account
    except ImportError:
        return None
    address: str = Account._recover_hash(bytes.fromhex(digest[2:]), signature=bytes.fromhex(signature[2:]))  # fmt: skip
    return address


def timing(stream: list[tuple[str, str]]) -> None:
    best = float("inf")
    for _ in range(20):
        replay = Replay()
        start = time.perf_counter()
        for venue, raw in stream:
            replay.frame(venue, raw)
        best = min(best, time.perf_counter() - start)
    print(
        f"\nReplay: {len(stream):,} frames in {best * 1e3:.1f} ms (best of 20): "
        f"{len(stream) / best:,.0f} frames/s, {best / len(stream) * 1e6:.2f} us per frame"
    )


def main() -> None:
    stream = load()
    replay = replay_all(stream)
    token_id, quantity, worst = route(replay)
    sign(token_id, quantity, worst)
    timing(stream)


if __name__ == "__main__":
    main()
