"""Decoder fuzz through Python: mutated venue frames against books in every state.

    python tests/fuzz/fuzz_decoders.py --seconds 120 [--python EXE]

Chunks of cases run in child processes (EXE, by default this interpreter); a dead child or a broken
invariant fails the run and leaves its case in tests/fuzz/crashes/ (move it to regressions/, which
test_regressions.py replays). The invariants: the interpreter survives; what escapes is an
`Exception` or the module's internal failure; a None, or a Kalshi or Opinion decode that raises,
leaves every book (levels, `ready`, `sequence`, `timestamp`) and dict as it was, except that a
Polymarket frame failing part way or an `apply` that raises may keep books it already replaced,
and a Kalshi delta to a book that is not ready records its sequence.
"""

import argparse
import json
import random
import subprocess
import sys
import time
from decimal import Decimal
from pathlib import Path

import frames
from orvane import _core

# The case a child is running.
CURRENT = Path(__file__).resolve().parent / "crashes" / "current.json"

DECODERS = list(frames.SEEDS)
# How many of (books, unverified tops, markets) a decoder takes after the text, if not one.
ARITY = {"polymarket_market": 3, "opinion_depth": 0}


class Book(_core.LocalBook):
    """A subclass, which every decoder must take as a book."""


class HostileKey:
    """A key whose hash collides with an instrument key, so that the decoder's lookups meet its
    __eq__: one that raises, or one that says no."""

    def __init__(self, key, raises=False):
        self.key, self.raises = key, raises

    def __hash__(self):
        return hash(self.key)

    def __eq__(self, other):
        if self.raises:
            raise LookupError("hostile key")
        return False


def make_book(rng):
    book = Book() if rng.random() < 0.3 else _core.LocalBook()
    if rng.random() < 0.7:
        bids = [(f"0.{rng.randrange(1, 50):02d}", rng.randrange(1, 100)) for _ in range(3)]
        asks = [(f"0.{rng.randrange(50, 100):02d}", rng.randrange(1, 100)) for _ in range(3)]
        book.replace(bids, asks)
    if rng.random() < 0.3:
        book.invalidate()
    book.sequence = rng.choice([None, 1, 41, "7"])
    book.timestamp = rng.choice([None, 1_700_000_000_000])
    return book


def make_state(rng, text):
    """The books (some of them not books, one key maybe hostile), unverified tops and markets."""
    books = {}
    for key in frames.keys_of(text):
        roll = rng.random()
        if roll < 0.5:
            books[key] = make_book(rng)
        elif roll < 0.6:
            books[key] = rng.choice([5, "x", {}, None])
    if rng.random() < 0.1:
        hostile = HostileKey(rng.choice(frames.ASSETS + frames.TICKERS))
        books[hostile] = 0
        hostile.raises = rng.random() < 0.5  # armed once stored
    unverified = {}
    for key in rng.sample(frames.ASSETS, rng.randrange(3)):
        stamp = rng.choice([None, 1_699_999_999_000, 1_700_000_000_000, 2**63, "x"])
        bid, ask = rng.choice(["0.4", "0.41", "", None, True, Decimal("0.4")]), rng.choice(["0.6"])
        unverified[key] = rng.choice([(stamp, bid, ask), (stamp, bid, ask), (stamp, bid)])
    return books, unverified, {}


def image(state, unready_sequence=True):
    """Everything a decoder may change, as plain comparable values; without the sequences of books
    that are not ready when `unready_sequence` is false."""
    books, unverified, markets = state
    seen = {}
    for key, book in books.items():
        seen[repr(key)] = (id(book), repr(book))  # a value that is not a book, whole
        if isinstance(book, _core.LocalBook):
            levels = [[(str(x.price), str(x.size)) for x in side] for side in book.levels()]
            sequence = book.sequence if book.ready or unready_sequence else "*"
            seen[repr(key)] += (levels, book.ready, sequence, book.timestamp)
    return seen, repr(unverified), repr(markets)


def raised(step, error, state_kept):
    """What is wrong with an exception out of `step`, or None."""
    internal = f"{type(error).__module__}.{type(error).__name__}" == "orvane._core.InvariantFailure"
    if not (isinstance(error, Exception) or internal):
        return f"{step} raised {type(error).__name__}, which is not an Exception"
    return None if state_kept else f"{step} raised {type(error).__name__} and changed the state"


def run_case(decoder, seed, text):
    """Runs one case; returns a text naming the broken invariant, or None."""
    rng = random.Random(seed)
    state = make_state(rng, text)
    books, before = state[0], image(state)
    try:
        result = getattr(_core, decoder)(text, *state[: ARITY.get(decoder, 1)])
    except BaseException as error:  # noqa: BLE001 (the invariant is about which kinds escape)
        return raised("decode", error, decoder.startswith("polymarket") or image(state) == before)
    if result is None:
        return None if image(state) == before else f"{decoder} returned None and changed the state"
    if decoder.startswith("polymarket"):
        return None
    unready = image(state, unready_sequence=False)
    try:
        if decoder == "opinion_depth":
            targets = [b for b in books.values() if isinstance(b, _core.LocalBook)]
            applied = result.apply(rng.choice(targets or [_core.LocalBook()]))
            return None if isinstance(applied, tuple) else f"apply returned {applied!r}"
        applied = result.apply(books)
    except BaseException as error:  # noqa: BLE001
        return raised("apply", error, state_kept=True)
    if applied is None and result.kind != "orderbook_delta":
        return "a snapshot's apply returned None"
    if applied is None and image(state, unready_sequence=False) != unready:
        return "a delta to a book that is not ready changed more than its sequence"
    return None


def child(seed, deadline):
    rng, cases = random.Random(seed), 0
    while time.time() < deadline:
        decoder, case_seed = rng.choice(DECODERS), rng.getrandbits(64)
        text = frames.frame(random.Random(case_seed), decoder)
        CURRENT.write_text(json.dumps({"decoder": decoder, "seed": case_seed, "text": text}))
        broken = run_case(decoder, case_seed, text)
        if broken is not None:
            sys.exit(f"invariant broken: {broken}")
        cases += 1
    print(cases)


def parent(seconds, python, seed):
    CURRENT.parent.mkdir(exist_ok=True)
    deadline = time.time() + seconds
    total = chunks = 0
    while time.time() < deadline:
        until = min(deadline, time.time() + 20)  # one child's share
        command = [python, __file__, "--child", str(seed + chunks), str(until)]
        run = subprocess.run(command, check=False, capture_output=True, text=True)
        chunks += 1
        if run.returncode != 0:
            print(run.stderr[-4000:], file=sys.stderr)
            if not CURRENT.exists():
                sys.exit("fuzz: a child failed before its first case")
            case = json.loads(CURRENT.read_text())
            kept = CURRENT.with_name(f"{case['decoder']}-{case['seed']}.json")
            kept.write_text(json.dumps(case, indent=1))
            how = f"signal {-run.returncode}" if run.returncode < 0 else f"exit {run.returncode}"
            sys.exit(f"fuzz: child died ({how}); its case is in {kept}")
        total += int(run.stdout.split()[-1])
    CURRENT.unlink(missing_ok=True)
    print(f"fuzz: {total} cases in {chunks} children under {python}: 0 failed")


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--child", nargs=2, type=float, metavar=("SEED", "DEADLINE"))
    args = parser.parse_args()
    if args.child:
        child(int(args.child[0]), args.child[1])
    else:
        print(f"fuzz: seed {args.seed}")
        parent(args.seconds, args.python, args.seed)
