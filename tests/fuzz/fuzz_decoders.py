"""Decoder fuzz through Python: mutated venue frames against books in every state.

    python tests/fuzz/fuzz_decoders.py --seconds 120 [--python EXE]

Runs chunks of cases in child processes (EXE, by default this interpreter), so that a crash kills a
child, not the run: a dead child or a broken invariant fails the run and leaves the case in
tests/fuzz/crashes/, which `tests/fuzz/test_regressions.py` replays once moved to regressions/.

Invariants, for every case:
- the interpreter survives;
- an exception is an `Exception`, or the module's internal failure;
- a decoder that returns None, or a decoding step that raises, leaves every book as it was (levels,
  `ready`, `sequence`, `timestamp`) and so the caller's other dicts; the one change allowed is the
  sequence a Kalshi delta records on a book that is not ready.
"""

import argparse
import json
import random
import subprocess
import sys
import time
from decimal import Decimal
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import frames  # noqa: E402
from orvane._core import (  # noqa: E402
    LocalBook,
    kalshi_book_message,
    opinion_depth,
    polymarket_market,
    polymarket_us_market_data,
)

DECODERS = list(frames.SEEDS)


class Book(LocalBook):
    """A subclass, which every decoder must take as a book."""


class HostileKey:
    """A key whose hash collides with an instrument key, so that the decoder's lookups meet its
    __eq__: one that raises, or one that says no."""

    def __init__(self, key, raises):
        self.key, self.raises = key, raises

    def __hash__(self):
        return hash(self.key)

    def __eq__(self, other):
        if self.raises:
            raise LookupError("hostile key")
        return False


def make_book(rng):
    book = Book() if rng.random() < 0.3 else LocalBook()
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
    books = {}
    for key in frames.keys_of(text):
        roll = rng.random()
        if roll < 0.5:
            books[key] = make_book(rng)
        elif roll < 0.6:
            books[key] = rng.choice([5, "x", {}, None])
    if rng.random() < 0.1:
        hostile = HostileKey(rng.choice(frames.ASSETS + frames.TICKERS), raises=False)
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
        if isinstance(book, LocalBook):
            bids, asks = book.levels()
            levels = [[(str(x.price), str(x.size)) for x in side] for side in (bids, asks)]
            sequence = book.sequence if book.ready or unready_sequence else "*"
            seen[repr(key)] = (id(book), levels, book.ready, sequence, book.timestamp)
        else:
            seen[repr(key)] = (id(book),)
    return seen, repr(unverified), repr(markets)


def is_internal_failure(error):
    return type(error).__name__ == "InvariantFailure" and type(error).__module__ == "orvane._core"


def run_case(decoder, seed, text):
    """Runs one case; returns a text naming the broken invariant, or None."""
    rng = random.Random(seed)
    state = make_state(rng, text)
    books, unverified, markets = state
    before = image(state)
    step = "decode"
    try:
        if decoder == "polymarket_market":
            result = polymarket_market(text, books, unverified, markets)
        elif decoder == "polymarket_us_market_data":
            result = polymarket_us_market_data(text, books)
        elif decoder == "kalshi_book_message":
            result = kalshi_book_message(text, books)
            if result is not None:
                step = "apply"
                delta = result.kind == "orderbook_delta"
                unready_before = image(state, unready_sequence=False)
                applied = result.apply(books)
                if applied is None and delta and image(state, False) != unready_before:
                    return "a delta to a book that is not ready changed more than its sequence"
                if applied is None:
                    return None if delta else "a snapshot's apply returned None"
                result = applied
        else:
            result = opinion_depth(text)
            if result is not None:
                step = "apply"
                targets = [b for b in books.values() if isinstance(b, LocalBook)] or [LocalBook()]
                result = result.apply(rng.choice(targets))
                if not isinstance(result, tuple):
                    return f"apply returned {result!r}"
    except BaseException as error:  # noqa: BLE001 (the invariant is about which kinds escape)
        if not (isinstance(error, Exception) or is_internal_failure(error)):
            return f"{step} raised {type(error).__name__}, which is not an Exception"
        changes_may_stay = step == "apply" or decoder.startswith("polymarket")
        if not changes_may_stay and image(state) != before:
            return f"{step} raised {type(error).__name__} and changed the state"
        return None
    if result is None and image(state) != before:
        return f"{decoder} returned None and changed the state"
    return None


def child(seed, seconds, current):
    rng = random.Random(seed)
    recorded = frames.recorded_frames()
    deadline = time.monotonic() + seconds
    cases = 0
    with open(current, "w") as out:
        while time.monotonic() < deadline:
            decoder = rng.choice(DECODERS)
            case_seed = rng.getrandbits(64)
            text = frames.frame(random.Random(case_seed), decoder, recorded)
            case = json.dumps({"decoder": decoder, "seed": case_seed, "text": text})
            out.seek(0)
            out.write(case)
            out.truncate()
            out.flush()
            broken = run_case(decoder, case_seed, text)
            if broken is not None:
                print(f"invariant broken: {broken}", file=sys.stderr)
                sys.exit(3)
            cases += 1
    print(cases)


def parent(seconds, python, chunk, seed):
    crashes = HERE / "crashes"
    current = HERE / "crashes" / "current.json"
    crashes.mkdir(exist_ok=True)
    deadline = time.monotonic() + seconds
    total = chunks = 0
    while time.monotonic() < deadline:
        budget = max(1.0, min(chunk, deadline - time.monotonic()))
        chunk_seed = seed + chunks
        command = [python, __file__, "--child", str(chunk_seed), str(budget), str(current)]
        run = subprocess.run(command, check=False, capture_output=True, text=True)
        chunks += 1
        if run.returncode != 0 and not current.exists():
            print(run.stderr[-4000:], file=sys.stderr)
            print("fuzz: a child failed before its first case", file=sys.stderr)
            return 1
        if run.returncode != 0:
            case = json.loads(current.read_text())
            kept = crashes / f"{case['decoder']}-{case['seed']}.json"
            kept.write_text(json.dumps(case, indent=1))
            how = f"signal {-run.returncode}" if run.returncode < 0 else f"exit {run.returncode}"
            print(run.stderr[-4000:], file=sys.stderr)
            print(f"fuzz: child died ({how}); its case is in {kept}", file=sys.stderr)
            return 1
        total += int(run.stdout.split()[-1])
    current.unlink(missing_ok=True)
    print(f"fuzz: {total} cases in {chunks} children under {python}: 0 failed")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--chunk", type=float, default=20, help="seconds of one child")
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--child", nargs=3, metavar=("SEED", "SECONDS", "FILE"))
    args = parser.parse_args()
    if args.child:
        child(int(args.child[0]), float(args.child[1]), args.child[2])
        return 0
    print(f"fuzz: seed {args.seed}")
    return parent(args.seconds, args.python, args.chunk, args.seed)


if __name__ == "__main__":
    sys.exit(main())
