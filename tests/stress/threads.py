"""Threads on shared objects: eight threads for a few seconds on shared books, their views, the
decoders, the router and the signer, then many threads that start, use the module once and exit
(each leaves a per-thread cache behind for its thread state to release).

    python tests/stress/threads.py [--seconds 5]

The interpreter lock serialises the calls, but a fee function or a switch between bytecodes lets
threads interleave around them: the module must stay consistent and give every thread correct
results. A borrow conflict is a RuntimeError or the internal failure, never a crash; any other
exception, a wrong result or a book out of order fails the run.
"""

import argparse
import random
import sys
import threading
import time
import traceback
from decimal import Decimal
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import entry_points as e
from orvane._core import (
    LocalBook,
    kalshi_book_message,
    opinion_depth,
    polymarket_market,
    router_levels,
    router_view,
)

SHARED = [LocalBook() for _ in range(3)]
for _book in SHARED:
    _book.replace([("0.40", 10), ("0.39", 5)], [("0.60", 10), ("0.61", 5)])
KALSHI_BOOKS = {}
POLYMARKET_BOOKS = {}
EXPECTED_SIGNATURE = e.SIGNER.sign_digest(e.DIGEST)


def borrow_conflict(error):
    return isinstance(error, RuntimeError) or type(error).__name__ == "InvariantFailure"


def slow_fee(market_id, price, one):
    time.sleep(0)  # lets another thread run in the middle of the merge
    return price / 100


def work(rng):
    book = rng.choice(SHARED)
    roll = rng.randrange(9)
    if roll == 0:
        price = f"0.{rng.randrange(41, 59)}"
        book.set(rng.choice(["bid", "ask"]), price, rng.randrange(0, 3))
    elif roll == 1:
        bids, asks = book.levels()
        prices = [level.price for level in bids]
        assert prices == sorted(prices, reverse=True), prices
        assert [x.price for x in asks] == sorted(x.price for x in asks)
    elif roll == 2:
        side = book.bids
        prices = list(side)
        assert prices == sorted(prices)  # a side iterates by ascending price
        side.get(Decimal("0.40"))
    elif roll == 3:
        message = kalshi_book_message(e.KALSHI_SNAPSHOT, KALSHI_BOOKS)
        message.apply(KALSHI_BOOKS)
    elif roll == 4:
        opinion_depth(e.OPINION).apply(book)
    elif roll == 5:
        polymarket_market(e.POLYMARKET_BOOK, POLYMARKET_BOOKS, {}, {})
        polymarket_market(e.POLYMARKET_CHANGE, POLYMARKET_BOOKS, {}, {})
    elif roll == 6:
        members = [(str(i), router_view(b, i % 2 == 1)[1]) for i, b in enumerate(SHARED)]
        ladder = router_levels(members, slow_fee, True)
        if ladder is not None:
            ladder.walk(True, Decimal(5), Decimal(1), [])
    elif roll == 7:
        assert e.SIGNER.sign_digest(e.DIGEST) == EXPECTED_SIGNATURE
    else:
        book.mirrored().levels(2)


def hammer(seed, deadline, failures, counts):
    rng = random.Random(seed)
    done = 0
    while time.monotonic() < deadline:
        try:
            work(rng)
        except Exception as error:  # noqa: BLE001 (reported, and the run fails)
            if not borrow_conflict(error):
                failures.append("".join(traceback.format_exception(error)[-3:]))
                return
        except BaseException as error:
            if not borrow_conflict(error):
                raise
        done += 1
    counts.append(done)


def short_lived(failures):
    try:
        book = LocalBook()
        book.replace([("0.1", 1)], [("0.9", 2)])
        assert book.levels()[0][0].price == Decimal("0.1")
    except Exception as error:  # noqa: BLE001 (reported, and the run fails)
        failures.append(repr(error))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--short-lived", type=int, default=2_000)
    args = parser.parse_args()
    sys.setswitchinterval(1e-5)  # switch threads as often as the interpreter allows
    failures, counts = [], []
    deadline = time.monotonic() + args.seconds
    threads = [
        threading.Thread(target=hammer, args=(seed, deadline, failures, counts))
        for seed in range(8)
    ]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for _ in range(args.short_lived):
        thread = threading.Thread(target=short_lived, args=(failures,))
        thread.start()
        thread.join()
    for book in SHARED:
        bids, asks = book.levels()
        assert [x.price for x in bids] == sorted((x.price for x in bids), reverse=True)
        assert [x.price for x in asks] == sorted(x.price for x in asks)
    print(*failures[:10], sep="\n")
    print(
        f"threads: {sum(counts)} calls on 8 threads, {args.short_lived} short-lived threads: "
        f"{len(counts) + args.short_lived - len(failures)} passed, {len(failures)} failed"
    )
    return 1 if failures or len(counts) != len(threads) else 0


if __name__ == "__main__":
    sys.exit(main())
