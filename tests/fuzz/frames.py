"""Seed frames of the four venues and one structure-aware mutation engine over their JSON trees.

A frame starts from a template or a frame of a Polymarket stream; its tree is varied within the venue's
grammar (other instruments, sides, prices, sizes and level counts), then mostly broken (values of
other types, numbers past every range, deep nesting, lone surrogates, dropped, renamed and repeated
members), and its text sometimes cut, flipped or padded.
"""

import copy
import json
import re
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "venues"))
from polymarket_stream import FIXED as STREAM  # noqa: E402 (a stream: snapshots, changes, gaps)

# One frame of each kind by decoder, and a Polymarket array of two; tests/stress/entry_points.py
# calls every decoder on these too.
SEEDS = {
    decoder: [json.dumps(tree, separators=(",", ":")) for tree in trees]
    for decoder, trees in json.loads((HERE / "seeds.json").read_text()).items()
}
SEEDS["polymarket_market"].append("[{},{}]".format(*SEEDS["polymarket_market"]))

ASSETS = ["A", "B", "7"]
TICKERS = ["T", "U"]
SLUGS = ["s", "will-it-rain"]
# A member that names an instrument, and its text as JSON (well-formed, whatever surrounds it).
NAMED = re.compile(
    r'"(?:asset_id|market_ticker|marketSlug|tokenId)"\s*:\s*("(?:[^"\\]|\\(?:u[\da-fA-F]{4}|["\\/bfnrt]))*")'
)

# What a member may become and stay within its venue's grammar.
VARIANTS = {
    "asset_id": ASSETS, "market_ticker": TICKERS, "marketSlug": SLUGS, "tokenId": ["a", "b"],
    "delta_fp": ["-3", "-1", "2"],
    "best_bid": ["0.4", "0.41", "", None, "0"], "best_ask": ["0.6", "0.59", "", None, "1"],
    "client_order_id": ["", "c1", None], "seq": [1, 2, 3, 41, 42, 99], "price": [0.45, "0.45"],
}  # fmt: skip
SIDES = [("BUY", "SELL", "buy", "sell"), ("yes", "no"), ("bids", "asks", "BIDS")]
# Values that sit on an edge of some reader: every JSON type, numbers at and past each range, texts
# that are almost decimals, surrogates, and objects in the venues' {"value": ...} shape.
EDGE_VALUES = [
    None, True, False, 0, -0.0, 1, -1, 0.5, 1e-30, 1e308, 2**63 - 1, 2**63, 2**64 - 1, 2**64,
    -(2**63), -(2**63) - 1, 10**40, "", " ", "0", "0.45", "-0.45", "1e-3", "1e-29", "1E2", "abc",
    "1_0", "_1", "0.85000000000000000000", "79228162514264337593543950336", "\ud800", "\udfff",
    "\u00e9", "\u200b0.5", "nan", "inf", [], {}, [1], {"value": "0.5"}, {"value": {"value": 1}},
    ["0.5", "1"], [["0.5", "1"]], {"px": "0.5", "qty": "1"},
]  # fmt: skip


def _nodes(tree, path=()):
    """Every node with its path, down to a depth that Python's own recursion allows."""
    yield path, tree
    if len(path) < 50 and isinstance(tree, dict | list):
        for key, value in tree.items() if isinstance(tree, dict) else enumerate(tree):
            yield from _nodes(value, (*path, key))


def vary(rng, key, node):
    """Another value the venue could send in the same place."""
    if key in VARIANTS:
        return rng.choice(VARIANTS[key])
    if key == "side":
        return rng.choice(next((s for s in SIDES if node in s), [node]))
    if isinstance(node, list) and node and all(isinstance(x, list | dict) for x in node):
        return copy.deepcopy(rng.choices(node, k=rng.randrange(len(node) + 3)))  # levels, messages
    if isinstance(node, str) and re.fullmatch(r"0\.\d+", node):
        return f"0.{rng.randrange(1, 100):02d}"
    if isinstance(node, str) and node.isdigit():
        return str(max(0, int(node) + rng.randrange(-9, 2_000)))
    return node


def corrupt(rng, key, node):
    """A value no venue sends there."""
    how = rng.randrange(6)
    if how == 0:
        return copy.deepcopy(rng.choice(EDGE_VALUES))
    if how == 1:  # nested arrays, as deep as json.dumps goes; far deeper texts come from write()
        depth = rng.choice([10, 100, 150])
        return json.loads("[" * depth + "]" * depth)
    if how == 2 and isinstance(node, list) and node:
        return node[1:]
    if how == 3 and isinstance(node, list) and node:
        return node + copy.deepcopy(rng.choices(node, k=rng.choice([1, 10, 1000])))
    if how in (2, 3) and isinstance(node, dict) and node:
        node, name = dict(node), rng.choice(list(node))
        value = node.pop(name)
        if how == 2:
            node[name.upper() if rng.random() < 0.5 else name + "\u0301"] = value
        return node
    if how == 4 and isinstance(node, str):
        return node * rng.choice([2, 100]) + rng.choice(["", "\ud800"])
    return node  # the change drawn does not fit this node


def mutate(rng, tree, times, change):
    root = [tree]  # so that every node, the tree too, has a parent
    for _ in range(times):
        path, node = rng.choice(list(_nodes(root))[1:])
        parent = root
        for step in path[:-1]:
            parent = parent[step]
        parent[path[-1]] = change(rng, path[-1], node)
    return root[0]


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
    how, at = rng.randrange(5), rng.randrange(len(text) or 1)
    if how == 0:
        return text[:at]
    if how == 1:
        return text[:at] + rng.choice('\0\x7f"\\{\ud800\xe9') + text[at + 1 :]
    if how == 2:
        return text[:at] + rng.choice([" ", ",", "]", "}", "-", "e5", "0" * 40]) + text[at:]
    return text


def frame(rng, decoder):
    real = decoder == "polymarket_market" and rng.random() < 0.3
    text = rng.choice(STREAM if real else SEEDS[decoder])
    try:
        tree = json.loads(text)
    except (ValueError, RecursionError):
        return mutate_text(rng, text)
    tree = mutate(rng, tree, rng.randrange(8), vary)
    if rng.random() < 0.8:
        tree = mutate(rng, tree, rng.randrange(1, 4), corrupt)
    text = write(rng, tree)
    return mutate_text(rng, text) if rng.random() < 0.3 else text


def keys_of(text):
    """Instrument keys worth holding books under: the venues' usual ones and what the text names."""
    named = (json.loads(value, strict=False) for value in NAMED.findall(text))
    return sorted({*ASSETS, *TICKERS, *SLUGS, "a", "b", ""} | {x for x in named if len(x) < 100})
