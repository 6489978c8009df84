"""Writes the demo's recorded frames, examples/frames/<venue>.jsonl, one raw frame a line, from a
fixed seed: `python examples/make_frames.py`.

Every instrument has a true book whose middle drifts a tick at a time; each venue reports its
changes in its own frame shape. One question ("Will the Fed cut rates at its March 2027
meeting?") is quoted on all four venues: Polymarket's YES token, Polymarket US's market and
Kalshi's 25 bp cut market directly, and Opinion's "hold" market as its complement.
"""

import json
import random
from decimal import Decimal
from pathlib import Path

SEED = 20270317
OUT = Path(__file__).with_name("frames")
TICK = Decimal("0.01")
START_MS = 1_767_225_600_000  # 2026-01-01T00:00:00Z

# Instrument keys as the venues name them.
PM_MARKET = "0x5f2a61b93c8d4e0f7a1b2c3d4e5f60718293a4b5c6d7e8f9a0b1c2d3e4f5a6b7"
PM_YES = "71321045679252212594626385532706912750332728571942532289631379312455583992563"
PM_NO = "52114319501245915516055106046884209969926127482827954674443846427813813222426"
US_FED = "fed-cut-march-2027"
US_NBA = "nba-finals-2027-celtics"
KALSHI_FED = "KXFEDDECISION-27MAR-C25"
KALSHI_CPI = "KXCPIYOY-27JAN-T2.8"
OPINION_HOLD = "36910238578810942862148853624126532651426883297001786203451230876452004631958"
OPINION_BTC = "8823701665231404751983042612735580117339981238766014937123470625197445510011"


class TrueBook:
    """A book on a tick grid: bids below the middle index, asks above, sizes in whole units."""

    def __init__(self, rng: random.Random, middle: str, depth: int) -> None:
        self.rng = rng
        self.middle = self.home = int(Decimal(middle) / TICK)
        self.bids = {self.middle - k: self.size() for k in range(1, depth + 1)}
        self.asks = {self.middle + k: self.size() for k in range(1, depth + 1)}

    def size(self) -> Decimal:
        return Decimal(self.rng.randint(5, 400) * 10)

    def step(self) -> list[tuple[str, int, Decimal]]:
        """One change of the true book as (side, tick, new size) edits; size 0 removes."""
        edits = []
        if self.rng.random() < 0.08:  # the middle moves a tick; a level it crosses goes
            # Wanders, but is drawn back home: the venues quoting one question stay near each other.
            away = self.middle - self.home
            self.middle += -1 if self.rng.random() < 0.5 + away / 8 else 1
            crossed = [("bid", t) for t in self.bids if t >= self.middle]
            crossed += [("ask", t) for t in self.asks if t <= self.middle]
            for side, tick in crossed:
                del (self.bids if side == "bid" else self.asks)[tick]
                edits.append((side, tick, Decimal(0)))
        side = self.rng.choice(("bid", "ask"))
        levels = self.bids if side == "bid" else self.asks
        tick = self.middle + (-1 if side == "bid" else 1) * self.rng.randint(1, 6)
        if tick in levels and self.rng.random() < 0.3:
            del levels[tick]
            edits.append((side, tick, Decimal(0)))
        else:
            levels[tick] = self.size()
            edits.append((side, tick, levels[tick]))
        return edits

    def best(self) -> tuple[str, str]:
        return price(max(self.bids)) if self.bids else "0", price(
            min(self.asks)
        ) if self.asks else "1"

    def side(self, name: str) -> list[tuple[str, Decimal]]:
        levels = self.bids if name == "bid" else self.asks
        return [(price(t), levels[t]) for t in sorted(levels, reverse=name == "bid")]


def price(tick: int) -> str:
    return str(tick * TICK)


def polymarket(rng: random.Random, frames: int) -> list[object]:
    yes = TrueBook(rng, "0.54", 12)
    clock = START_MS

    def book(
        asset: str, bids: list[tuple[str, Decimal]], asks: list[tuple[str, Decimal]]
    ) -> dict[str, object]:
        return {
            "event_type": "book",
            "asset_id": asset,
            "market": PM_MARKET,
            "bids": [{"price": p, "size": str(s)} for p, s in reversed(bids)],
            "asks": [{"price": p, "size": str(s)} for p, s in reversed(asks)],
            "timestamp": str(clock),
            "hash": f"0x{rng.getrandbits(160):040x}",
            "tick_size": "0.01",
            "last_trade_price": "0.54",
        }

    def complement(levels: list[tuple[str, Decimal]]) -> list[tuple[str, Decimal]]:
        return [(str(1 - Decimal(p)), s) for p, s in levels]

    out: list[object] = [
        book(PM_YES, yes.side("bid"), yes.side("ask")),
        book(PM_NO, complement(yes.side("ask")), complement(yes.side("bid"))),
    ]
    while len(out) < frames:
        clock += rng.randint(40, 900)
        changes = []
        for side, tick, size in yes.step():
            # A YES bid is a NO ask at the complement: the venue reports both tokens' changes.
            bid, ask = yes.best()
            no_bid, no_ask = str(1 - Decimal(ask)), str(1 - Decimal(bid))
            changes.append(
                {
                    "asset_id": PM_YES,
                    "price": price(tick),
                    "size": str(size),
                    "side": "BUY" if side == "bid" else "SELL",
                    "hash": f"0x{rng.getrandbits(160):040x}",
                    "best_bid": bid,
                    "best_ask": ask,
                }
            )
            changes.append(
                {
                    "asset_id": PM_NO,
                    "price": str(1 - tick * TICK),
                    "size": str(size),
                    "side": "SELL" if side == "bid" else "BUY",
                    "hash": f"0x{rng.getrandbits(160):040x}",
                    "best_bid": no_bid,
                    "best_ask": no_ask,
                }
            )
        out.append(
            {
                "market": PM_MARKET,
                "price_changes": changes,
                "timestamp": str(clock),
                "event_type": "price_change",
            }
        )
    return out


def polymarket_us(rng: random.Random, frames: int) -> list[object]:
    books = {US_FED: TrueBook(rng, "0.55", 8), US_NBA: TrueBook(rng, "0.31", 8)}
    clock = START_MS
    out: list[object] = []
    while len(out) < frames:
        clock += rng.randint(200, 3000)
        if rng.random() < 0.05:
            out.append({"heartbeat": {}})
            continue
        slug = rng.choice(list(books))
        truth = books[slug]
        for _ in range(rng.randint(1, 3)):
            truth.step()

        levels = {
            side: [
                {"px": {"value": p, "currency": "USD"}, "qty": f"{s}.000"}
                for p, s in truth.side(side)
            ]
            for side in ("bid", "ask")
        }
        seconds, millis = divmod(clock - START_MS, 1000)
        out.append(
            {
                "marketData": {
                    "marketSlug": slug,
                    "bids": levels["bid"],
                    "offers": levels["ask"],
                    "state": "MARKET_STATE_OPEN",
                    "stats": {
                        "lastTradePx": {"value": truth.best()[0], "currency": "USD"},
                        "openInterest": "184220",
                    },
                    "transactTime": f"2026-01-01T{seconds // 3600:02}:{seconds // 60 % 60:02}:{seconds % 60:02}.{millis:03}Z",
                }
            }
        )
    return out


def kalshi(rng: random.Random, frames: int) -> list[object]:
    books = {KALSHI_FED: TrueBook(rng, "0.53", 10), KALSHI_CPI: TrueBook(rng, "0.38", 10)}
    ids = {
        KALSHI_FED: "9a1c44f0-3a43-4d5e-9a17-1f0c2a7b5e11",
        KALSHI_CPI: "c2e0f6d9-77a8-4b0b-8c39-6e2d1b9f0a42",
    }
    seq = {KALSHI_FED: 0, KALSHI_CPI: 0}
    sid = {KALSHI_FED: 1, KALSHI_CPI: 2}
    clock = START_MS
    out: list[object] = []
    for ticker, truth in books.items():
        seq[ticker] += 1
        # Kalshi quotes two bid ladders: YES bids, and NO bids at 1 - the YES asks.
        no = [(f"{1 - Decimal(p):.4f}", s) for p, s in truth.side("ask")]
        out.append(
            {
                "type": "orderbook_snapshot",
                "sid": sid[ticker],
                "seq": seq[ticker],
                "msg": {
                    "market_ticker": ticker,
                    "market_id": ids[ticker],
                    "yes_dollars_fp": [
                        [f"{Decimal(p):.4f}", f"{s}.00"] for p, s in reversed(truth.side("bid"))
                    ],
                    "no_dollars_fp": [[p, f"{s}.00"] for p, s in reversed(no)],
                },
            }
        )
    while len(out) < frames:
        ticker = rng.choice(list(books))
        truth = books[ticker]
        before = {("bid", t): s for t, s in truth.bids.items()} | {
            ("ask", t): s for t, s in truth.asks.items()
        }
        for side, tick, size in truth.step():
            clock += rng.randint(10, 400)
            change = size - before.get((side, tick), Decimal(0))
            before[(side, tick)] = size
            if change == 0:
                continue
            yes = side == "bid"
            seq[ticker] += 1
            msg = {
                "market_ticker": ticker,
                "market_id": ids[ticker],
                "price_dollars": f"{tick * TICK if yes else 1 - tick * TICK:.4f}",
                "delta_fp": f"{change}.00",
                "side": "yes" if yes else "no",
                "ts_ms": clock,
            }
            if rng.random() < 0.1:
                msg["client_order_id"] = f"{rng.getrandbits(64):016x}"
            out.append(
                {"type": "orderbook_delta", "sid": sid[ticker], "seq": seq[ticker], "msg": msg}
            )
    return out


def opinion(rng: random.Random, frames: int) -> list[object]:
    books = {
        OPINION_HOLD: (TrueBook(rng, "0.45", 10), 2841),
        OPINION_BTC: (TrueBook(rng, "0.22", 10), 3307),
    }
    out: list[object] = []

    def diff(token: str, side: str, tick: int, size: Decimal) -> dict[str, object]:
        market, outcome = books[token][1], 1
        return {
            "msgType": "market.depth.diff",
            "marketId": market,
            "tokenId": token,
            "outcomeSide": outcome,
            "side": "bids" if side == "bid" else "asks",
            "price": price(tick),
            "size": f"{size}.00",
        }

    # No snapshot in this channel: the first diffs lay every level down.
    for token, (truth, _) in books.items():
        for (bid, bid_size), (ask, ask_size) in zip(
            truth.bids.items(), truth.asks.items(), strict=False
        ):
            out += [diff(token, "bid", bid, bid_size), diff(token, "ask", ask, ask_size)]
    while len(out) < frames:
        token = rng.choice(list(books))
        out += [diff(token, *edit) for edit in books[token][0].step()]
    return out


def main() -> None:
    rng = random.Random(SEED)
    OUT.mkdir(exist_ok=True)
    venues = {
        "polymarket": polymarket(rng, 420),
        "polymarket_us": polymarket_us(rng, 160),
        "kalshi": kalshi(rng, 420),
        "opinion": opinion(rng, 300),
    }
    for venue, frames in venues.items():
        text = "".join(json.dumps(f, separators=(",", ":")) + "\n" for f in frames)
        (OUT / f"{venue}.jsonl").write_text(text)


if __name__ == "__main__":
    main()
