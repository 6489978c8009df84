"""Market-channel streams of Polymarket, one raw frame each, made from a seed.

Each asset has a true book that the price changes edit, and every change reports the true best
prices after it. A few reports are wrong (gaps), snapshots are re-sent now and then (resyncs),
timestamps repeat or jump by more than 500 ms, and a few frames are of other types or cut short.
"""

import json
import random
from decimal import Decimal

TICK = Decimal("0.001")


def stream(seed, count):
    rng = random.Random(seed)
    market_of = {}
    for _ in range(3):
        market = f"0x{rng.getrandbits(256):064x}"
        market_of |= {str(rng.getrandbits(250)): market for _ in range(2)}
    truth = {}  # asset -> {"bids": {price: size text}, "asks": {...}}
    clock = 1_717_000_000_000

    def price_text(price):
        return float(price) if rng.random() < 0.1 else str(price)

    def size_text():
        return str(Decimal(rng.randint(1, 500_000)) / 100)

    def snapshot(asset):
        frame = {"event_type": "book", "asset_id": asset, "market": market_of[asset]}
        frame |= {"timestamp": str(clock), "hash": f"0x{rng.getrandbits(160):040x}"}
        truth[asset] = {}
        for side, grid in (("bids", range(1, 500)), ("asks", range(501, 1000))):
            ticks = rng.sample(grid, rng.randint(25, 100))
            truth[asset][side] = {TICK * t: size_text() for t in ticks}
            frame[side] = [
                {"price": price_text(p), "size": s} for p, s in truth[asset][side].items()
            ]
        return {**frame, "tick_size": "0.001", "last_trade_price": rng.choice(["0.5", "", None])}

    def price_change():
        market = rng.choice(list(market_of.values()))
        changes = []
        for _ in range(rng.randint(1, 20)):
            asset = rng.choice([a for a, m in market_of.items() if m == market])
            side = rng.choice(["bids", "asks"])
            levels = truth[asset][side]
            if levels and rng.random() < 0.3:
                price, size = rng.choice(list(levels)), "0"
                del levels[price]
            else:
                touch = (max if side == "bids" else min)(levels, default=Decimal("0.5"))
                price = min(max(touch + TICK * rng.randint(-8, 8), TICK), 1 - TICK)
                size = levels[price] = size_text()
            bids, asks = truth[asset]["bids"], truth[asset]["asks"]
            best_bid = str(max(bids)) if bids else rng.choice(["0", ""])
            best_ask = str(min(asks)) if asks else rng.choice(["1", None])
            if rng.random() < 0.03:
                best_bid = str(Decimal(best_bid or "0.5") + TICK * rng.randint(1, 5))
            word = "BUY" if side == "bids" else "SELL"
            change = {"asset_id": asset, "side": rng.choice([word, word.lower()])}
            change |= {"price": price_text(price), "size": size, "hash": f"{rng.getrandbits(64):x}"}
            changes.append({**change, "best_bid": best_bid, "best_ask": best_ask})
        stamp = str(clock) if rng.random() < 0.8 else clock
        return {"event_type": "price_change", "market": market, "timestamp": stamp} | {
            "price_changes": changes
        }

    frames = [snapshot(asset) for asset in market_of]
    while len(frames) < count:
        clock += rng.choice(
            [0, 0, rng.randint(1, 300), rng.randint(1, 300), rng.randint(501, 1500)]
        )
        roll, asset = rng.random(), rng.choice(list(market_of))
        if roll < 0.05:
            frames.append(snapshot(asset))
        elif roll < 0.08:
            frames.append([snapshot(asset), price_change()])
        elif roll < 0.10:
            kind = rng.choice(["tick_size_change", "last_trade_price"])
            frames.append([{"event_type": kind, "asset_id": asset, "timestamp": str(clock)}])
        elif roll < 0.11:
            text = json.dumps(price_change())
            frames.append(text[: rng.randint(1, len(text) - 1)])
        else:
            frames.append(price_change())
    return [f if isinstance(f, str) else json.dumps(f, separators=(",", ":")) for f in frames]


# The fixed stream the tests replay whole and the decoder fuzz mutates.
FIXED = stream(20240607, 320)
