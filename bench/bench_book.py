"""LocalBook against the pure-Python book (a dict from Decimal to Decimal)."""

import pathlib
import random
import sys
from decimal import Decimal

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from common import compare
from orvane._core import LocalBook
from orvane.ws.base import BookLevel


class PythonBook:
    """What the package's Python handlers keep: dicts, max/min and sorted."""

    def __init__(self):
        self.bids: dict[Decimal, Decimal] = {}
        self.asks: dict[Decimal, Decimal] = {}

    def set(self, side, price, size):
        levels = self.bids if side == "bid" else self.asks
        price, size = Decimal(price), Decimal(size)
        if size <= 0:
            levels.pop(price, None)
            return Decimal(0)
        levels[price] = size
        return size

    def add(self, side, price, delta):
        levels = self.bids if side == "bid" else self.asks
        price = Decimal(price)
        return self.set(side, price, levels.get(price, Decimal(0)) + Decimal(delta))

    @property
    def best_bid(self):
        return max(self.bids) if self.bids else None

    def levels(self, depth=None):
        bids = sorted(self.bids.items(), reverse=True)[:depth]
        asks = sorted(self.asks.items())[:depth]
        return (
            tuple(BookLevel(p, s) for p, s in bids),
            tuple(BookLevel(p, s) for p, s in asks),
        )


def filled(book, count, rng):
    for i in range(count):
        book.set("bid", Decimal(i + 1) / 10000, Decimal(rng.randint(1, 1000)))
        book.set("ask", Decimal(i + 5001) / 10000, Decimal(rng.randint(1, 1000)))
    return book


def bench_size(count, ratios):
    ours = filled(LocalBook(), count, random.Random(1))
    python = filled(PythonBook(), count, random.Random(1))
    price, size = Decimal("0.0005"), Decimal("12.5")
    number = 20000 if count < 1000 else 2000
    compare(
        f"set n={count}",
        lambda: ours.set("bid", price, size),
        lambda: python.set("bid", price, size),
        number,
    )
    compare(
        f"add n={count}",
        lambda: ours.add("bid", price, size),
        lambda: python.add("bid", price, size),
        number,
    )
    ratios[("best_bid", count)] = compare(
        f"best_bid n={count}", lambda: ours.best_bid, lambda: python.best_bid, number
    )
    ratios[("levels10", count)] = compare(
        f"levels(depth=10) n={count}",
        lambda: ours.levels(depth=10),
        lambda: python.levels(depth=10),
        number // 4,
    )
    compare(f"levels() n={count}", ours.levels, python.levels, max(20, number // (count // 5)))


def main():
    ratios = {}
    for count in (10, 100, 1000):
        bench_size(count, ratios)
    for key in (("best_bid", 1000), ("levels10", 1000)):
        if ratios[key] < 10:
            print(f"below target: {key} is {ratios[key]:.1f}x, aim 10x")


if __name__ == "__main__":
    main()
