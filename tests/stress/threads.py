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

import entry_points as e

SHARED = [e.LocalBook() for _ in range(3)]
for _book in SHARED:
    _book.replace([("0.40", 10), ("0.39", 5)], [("0.60", 10), ("0.61", 5)])
SIDES = ["bid", "ask"]
SIGNATURE = e.SIGNER.sign_digest(e.DIGEST)


def ordered(book):
    for side, descending in zip(book.levels(), (True, False), strict=True):
        prices = [level.price for level in side]
        assert prices == sorted(prices, reverse=descending), prices
    prices = list(book.bids)
    assert prices == sorted(prices)  # a side iterates by ascending price


def route(book):
    def slow_fee(market_id, price, one):
        time.sleep(0)  # lets another thread run in the middle of the merge
        return price / 100

    members = [(str(i), e.router_view(b, i % 2 == 1)[1]) for i, b in enumerate(SHARED)]
    ladder = e.router_levels(members, slow_fee, True)
    if ladder is not None:
        ladder.walk(True, Decimal(5), Decimal(1), [])


def sign():
    assert e.SIGNER.sign_digest(e.DIGEST) == SIGNATURE


WORK = [
    lambda book, rng: book.set(rng.choice(SIDES), f"0.{rng.randrange(41, 59)}", rng.randrange(3)),
    lambda book, rng: (ordered(book), book.bids.get(Decimal("0.40"))),
    lambda book, rng: e.CALLS["kalshi"]().apply(e.KALSHI_BOOKS),
    lambda book, rng: e.opinion_depth(e.OPINION).apply(book),
    lambda book, rng: (e.CALLS["polymarket book"](), e.CALLS["polymarket change"]()),
    lambda book, rng: route(book),
    lambda book, rng: sign(),
    lambda book, rng: book.mirrored().levels(2),
]


def hammer(seed, deadline, failures, counts):
    rng, done = random.Random(seed), 0
    while time.monotonic() < deadline:
        try:
            rng.choice(WORK)(rng.choice(SHARED), rng)
        except BaseException as error:  # noqa: BLE001 (reported, and the run fails)
            if not (isinstance(error, RuntimeError) or type(error).__name__ == "InvariantFailure"):
                failures.append("".join(traceback.format_exception(error)[-3:]))
                return
        done += 1
    counts.append(done)


def short_lived(failures):
    try:
        book = e.LocalBook()
        book.replace([("0.1", 1)], [("0.9", 2)])
        assert book.levels()[0][0].price == Decimal("0.1")
    except Exception as error:  # noqa: BLE001 (reported, and the run fails)
        failures.append(repr(error))


def started(target, *args):
    thread = threading.Thread(target=target, args=args)
    thread.start()
    return thread


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--short-lived", type=int, default=2_000)
    args = parser.parse_args()
    sys.setswitchinterval(1e-5)  # switch threads as often as the interpreter allows
    failures, counts = [], []
    deadline = time.monotonic() + args.seconds
    for thread in [started(hammer, seed, deadline, failures, counts) for seed in range(8)]:
        thread.join()
    for _ in range(args.short_lived):
        started(short_lived, failures).join()
    for book in SHARED:
        ordered(book)
    print(*failures[:10], sep="\n")
    print(
        f"threads: {sum(counts)} calls on 8 threads, {args.short_lived} short-lived threads: "
        f"{len(counts) + args.short_lived - len(failures)} passed, {len(failures)} failed"
    )
    return 1 if failures or len(counts) != 8 else 0


if __name__ == "__main__":
    sys.exit(main())
