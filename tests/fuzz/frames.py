"""Seed frames of the four venues and structure-aware mutations of them.

A case is (decoder name, frame text, book keys): the frame is made from a seed by changing its JSON
tree (values of other types, numbers past every range, deep nesting, lone surrogates, dropped and
repeated members) and then, sometimes, its text (truncation, flipped or inserted bytes).
"""

import copy
import json
from pathlib import Path

STREAM = Path(__file__).resolve().parent.parent / "venues" / "data" / "polymarket_stream.jsonl"

ASSETS = ["A", "B", "7"]
TICKERS = ["T", "U"]
SLUGS = ["s", "will-it-rain"]

# Values that sit on an edge of some reader: every JSON type, numbers at and past each range, texts
# that are almost decimals, surrogates, and objects in the venues' {"value": ...} shape.
EDGE_VALUES = [
    None, True, False, 0, -0.0, 1, -1, 0.5, 1e-30, 1e308, 2**63 - 1, 2**63, 2**64 - 1, 2**64,
    -(2**63), -(2**63) - 1, 10**40, "", " ", "0", "0.45", "-0.45", "1e-3", "1e-29", "1E2", "abc",
    "1_0", "_1", "0.85000000000000000000", "79228162514264337593543950336", "\ud800", "\udfff",
    "\u00e9", "\u200b0.5", "nan", "inf", [], {}, [1], {"value": "0.5"}, {"value": {"value": 1}},
    ["0.5", "1"], [["0.5", "1"]], {"px": "0.5", "qty": "1"},
]  # fmt: skip


def _levels(rng, count, keys=("price", "size")):
    return [
        {keys[0]: f"0.{rng.randrange(1, 100):02d}", keys[1]: str(rng.randrange(0, 500))}
        for _ in range(count)
    ]


def polymarket_seeds(rng):
    asset = rng.choice(ASSETS)
    book = {
        "event_type": "book",
        "asset_id": asset,
        "market": "0xm",
        "timestamp": str(1_700_000_000_000 + rng.randrange(10_000)),
        "hash": "0xh",
        "bids": _levels(rng, rng.randrange(4)),
        "asks": _levels(rng, rng.randrange(4)),
        "tick_size": "0.01",
        "last_trade_price": "0.5",
    }
    changes = [
        {
            "asset_id": rng.choice(ASSETS),
            "side": rng.choice(["BUY", "SELL", "buy"]),
            "price": f"0.{rng.randrange(1, 100):02d}",
            "size": str(rng.randrange(0, 50)),
            "best_bid": rng.choice(["0.4", "0.41", "", None, "0"]),
            "best_ask": rng.choice(["0.6", "0.59", "", None, "1"]),
        }
        for _ in range(rng.randrange(1, 6))
    ]
    change = {
        "event_type": "price_change",
        "market": "0xm",
        "timestamp": str(1_700_000_000_000 + rng.randrange(0, 2_000)),
        "price_changes": changes,
    }
    return rng.choice([book, change, [book, change], [change, change]])


def polymarket_us_seed(rng):
    data = {
        "marketSlug": rng.choice(SLUGS),
        "bids": _levels(rng, rng.randrange(4), ("px", "qty")),
        "offers": _levels(rng, rng.randrange(4), ("px", "qty")),
        "state": "OPEN",
        "transactTime": "2024-01-01T00:00:00Z",
        "stats": {"lastTradePx": {"value": "0.5"}, "openInterest": 7},
    }
    return {rng.choice(["marketData", "marketDataLite"]): data}


def kalshi_seed(rng):
    ticker = rng.choice(TICKERS)
    if rng.random() < 0.4:
        msg = {
            "market_ticker": ticker,
            "market_id": "m",
            "yes_dollars_fp": [[p["price"], p["size"]] for p in _levels(rng, rng.randrange(4))],
            "no_dollars_fp": [[p["price"], p["size"]] for p in _levels(rng, rng.randrange(4))],
        }
        kind = "orderbook_snapshot"
    else:
        msg = {
            "market_ticker": ticker,
            "price_dollars": f"0.{rng.randrange(1, 100):02d}",
            "delta_fp": str(rng.randrange(-20, 20)),
            "side": rng.choice(["yes", "no"]),
            "ts_ms": 1_700_000_000_000,
            "client_order_id": rng.choice(["", "c1", None]),
        }
        kind = "orderbook_delta"
    return {"type": kind, "sid": 1, "seq": rng.randrange(1, 100), "msg": msg}


def opinion_seed(rng):
    return {
        "msgType": "market.depth.diff",
        "marketId": 1,
        "tokenId": rng.choice(["a", "b"]),
        "side": rng.choice(["bids", "asks", "BIDS"]),
        "price": rng.choice([0.45, "0.45", "0.5"]),
        "size": str(rng.randrange(0, 50)),
    }


SEEDS = {
    "polymarket_market": polymarket_seeds,
    "polymarket_us_market_data": polymarket_us_seed,
    "kalshi_book_message": kalshi_seed,
    "opinion_depth": opinion_seed,
}


def recorded_frames():
    """The recorded Polymarket stream, one raw frame a line (some of them deliberately broken)."""
    with STREAM.open() as lines:
        return [line.rstrip("\n") for line in lines if line.strip()]


def _nodes(tree, path=()):
    """Every node with its path, down to a depth that Python's own recursion allows."""
    yield path, tree
    if len(path) > 50:
        return
    if isinstance(tree, dict):
        for key, value in tree.items():
            yield from _nodes(value, (*path, key))
    elif isinstance(tree, list):
        for index, value in enumerate(tree):
            yield from _nodes(value, (*path, index))


def _replace(tree, path, value):
    if not path:
        return value
    parent = tree
    for step in path[:-1]:
        parent = parent[step]
    parent[path[-1]] = value
    return tree


def _deep(rng):
    """Nested arrays, as deep as json.dumps goes; far deeper texts come from write()."""
    depth = rng.choice([10, 100, 150])
    return json.loads("[" * depth + "]" * depth)


def mutate_tree(rng, tree):
    for _ in range(rng.randrange(1, 4)):
        nodes = list(_nodes(tree))
        path, node = rng.choice(nodes)
        how = rng.randrange(7)
        if how == 0:
            tree = _replace(tree, path, copy.deepcopy(rng.choice(EDGE_VALUES)))
        elif how == 1 and path:
            parent = tree
            for step in path[:-1]:
                parent = parent[step]
            del parent[path[-1]]
        elif how == 2 and isinstance(node, list) and node:
            node.extend(copy.deepcopy(rng.choice(node)) for _ in range(rng.choice([1, 10, 1000])))
        elif how == 3 and isinstance(node, str):
            tree = _replace(tree, path, node * rng.choice([2, 100]) + rng.choice(["", "\ud800"]))
        elif how == 4:
            tree = _replace(tree, path, _deep(rng))
        elif how == 5 and isinstance(node, dict) and node:
            key = rng.choice(list(node))
            node[key.upper() if rng.random() < 0.5 else key + "\u0301"] = node.pop(key)
        elif how == 6:
            tree = _replace(tree, path, copy.deepcopy(rng.choice(EDGE_VALUES[:20])))
    return tree


def write(rng, tree):
    text = json.dumps(tree, ensure_ascii=rng.random() < 0.5, separators=(",", ":"))
    if rng.random() < 0.15:  # a repeated member: the last one wins, or a record refuses it
        at = text.find('":')
        if at > 0:
            start = text.rfind('"', 0, at)
            member = text[start : at + 2] + json.dumps(rng.choice(EDGE_VALUES[:12]))
            text = text[:start] + member + "," + text[start:]
    if rng.random() < 0.05:
        depth = rng.choice([1_000, 1_000_000])
        text = "[" * depth + text + "]" * depth
    return text


def mutate_text(rng, text):
    how = rng.randrange(5)
    if how == 0 and text:
        return text[: rng.randrange(len(text))]
    if how == 1 and text:
        at = rng.randrange(len(text))
        return (
            text[:at] + chr(rng.choice([0, 0x7F, 0x22, 0x5C, 0x7B, 0xD800, 0xE9])) + text[at + 1 :]
        )
    if how == 2 and text:
        at = rng.randrange(len(text))
        return text[:at] + rng.choice([" ", ",", "]", "}", "-", "e5", "0" * 40]) + text[at:]
    return text


def frame(rng, decoder, recorded):
    if decoder == "polymarket_market" and recorded and rng.random() < 0.3:
        raw = rng.choice(recorded)
        try:
            tree = json.loads(raw)
        except (ValueError, RecursionError):
            return mutate_text(rng, raw)
    else:
        tree = SEEDS[decoder](rng)
    if rng.random() < 0.8:
        tree = mutate_tree(rng, tree)
    text = write(rng, tree)
    if rng.random() < 0.3:
        text = mutate_text(rng, text)
    return text


def keys_of(text):
    """Instrument keys worth holding books under: the venues' usual ones and what the text names."""
    keys = set(ASSETS + TICKERS + SLUGS + ["a", "b", ""])
    if text.count("[") + text.count("{") > 1000:
        return sorted(
            keys
        )  # json's own recursion guard follows the recursion limit, which may be high
    try:
        tree = json.loads(text)
    except (ValueError, RecursionError):
        return sorted(keys)
    for _, node in _nodes(tree):
        if isinstance(node, dict):
            for name in ("asset_id", "market_ticker", "marketSlug", "tokenId"):
                value = node.get(name)
                if isinstance(value, str) and len(value) < 100:
                    keys.add(value)
    return sorted(keys)
