"""Writes polymarket_stream.jsonl (`python tests/venues/data/make_polymarket_stream.py`): a recorded-style
Polymarket market-channel stream, one raw frame a line, from a fixed seed.

Each asset has a true book that the price changes edit, and every change reports the true best
prices after it. A few reports are wrong (gaps), snapshots are re-sent now and then (resyncs),
timestamps repeat or jump by more than 500 ms, and a few frames are of other types or cut short.
"""

import json
import random
from decimal import Decimal
from pathlib import Path

SEED = 20240607
FRAMES = 320
OUT = Path(__file__).with_name("polymarket_stream.jsonl")
TICK = Decimal("0.001")


def stream(seed, count):
    """`count` raw frames of a stream made from `seed`."""
    rng = random.Random(seed)
    markets = {
        f"0x{rng.getrandbits(256):064x}": [str(rng.getrandbits(250)) for _ in range(2)]
        for _ in range(3)
    }
    market_of = {asset: market for market, assets in markets.items() for asset in assets}
    truth = {}  # asset -> {"bids": {price: size}, "asks": {...}}
    clock = 1_717_000_000_000

    def price_text(price):
        return float(price) if rng.random() < 0.1 else str(price)

    def size_text():
        return str(Decimal(rng.randint(1, 500_000)) / 100)

    def best(asset):
        side = truth[asset]
        return (
            str(max(side["bids"])) if side["bids"] else rng.choice(["0", ""]),
            str(min(side["asks"])) if side["asks"] else rng.choice(["1", None]),
        )

    def snapshot(asset):
        grid_bids = [TICK * i for i in range(1, 500)]
        grid_asks = [TICK * i for i in range(501, 1000)]
        bids = dict.fromkeys(rng.sample(grid_bids, rng.randint(25, 100)))
        asks = dict.fromkeys(rng.sample(grid_asks, rng.randint(25, 100)))
        truth[asset] = {
            "bids": {p: size_text() for p in bids},
            "asks": {p: size_text() for p in asks},
        }
        frame = {"event_type": "book", "asset_id": asset, "market": market_of[asset]}
        frame.update(timestamp=str(clock), hash=f"0x{rng.getrandbits(160):040x}")
        for side in ("bids", "asks"):
            frame[side] = [
                {"price": price_text(p), "size": s} for p, s in truth[asset][side].items()
            ]
        return {**frame, "tick_size": "0.001", "last_trade_price": rng.choice(["0.5", "", None])}

    def price_change():
        market = rng.choice(list(markets))
        changes = []
        for _ in range(rng.randint(1, 20)):
            asset = rng.choice(markets[market])
            side = rng.choice(["bids", "asks"])
            levels = truth[asset][side]
            if levels and rng.random() < 0.3:
                price = rng.choice(list(levels))
                size = "0"
            else:
                touch = (
                    (max(levels) if side == "bids" else min(levels)) if levels else Decimal("0.5")
                )
                offset = TICK * rng.randint(-8, 8)
                price = min(max(touch + offset, TICK), 1 - TICK)
                size = size_text()
            if size == "0":
                levels.pop(price, None)
            else:
                levels[price] = size
            best_bid, best_ask = best(asset)
            if rng.random() < 0.03:
                best_bid = str(Decimal(best_bid or "0.5") + TICK * rng.randint(1, 5))
            word = "BUY" if side == "bids" else "SELL"
            change = {"asset_id": asset, "side": rng.choice([word, word.lower()])}
            change.update(price=price_text(price), size=size, hash=f"0x{rng.getrandbits(64):016x}")
            changes.append({**change, "best_bid": best_bid, "best_ask": best_ask})
        stamp = str(clock) if rng.random() < 0.8 else clock
        frame = {"event_type": "price_change", "market": market, "timestamp": stamp}
        return {**frame, "price_changes": changes}

    frames = []
    for asset in market_of:
        frames.append(snapshot(asset))
    while len(frames) < count:
        clock += rng.choice(
            [0, 0, rng.randint(1, 300), rng.randint(1, 300), rng.randint(501, 1500)]
        )
        roll = rng.random()
        if roll < 0.05:
            frames.append(snapshot(rng.choice(list(market_of))))
        elif roll < 0.08:
            frames.append([snapshot(rng.choice(list(market_of))), price_change()])
        elif roll < 0.10:
            kind = rng.choice(["tick_size_change", "last_trade_price"])
            asset = rng.choice(list(market_of))
            frames.append([{"event_type": kind, "asset_id": asset, "timestamp": str(clock)}])
        elif roll < 0.11:
            text = json.dumps(price_change())
            frames.append(text[: rng.randint(1, len(text) - 1)])
        else:
            frames.append(price_change())
    return [
        frame if isinstance(frame, str) else json.dumps(frame, separators=(",", ":"))
        for frame in frames
    ]


if __name__ == "__main__":
    OUT.write_text("\n".join(stream(SEED, FRAMES)) + "\n")
