"""A short tour of orvane._core: an exact local order book and its live sides."""

from decimal import Decimal

from orvane._core import LocalBook


def main() -> None:
    book = LocalBook()
    book.replace([("0.45", "100"), ("0.44", "250")], [("0.47", "80"), ("0.48", "300")])
    book.add("bid", "0.45", "-40")  # a delta: 60 left at 0.45
    book.set("ask", "0.47", 0)  # size zero removes the level
    print(book)
    print("best bid", book.best_bid, "best ask", book.best_ask)
    bids, asks = book.levels(depth=2)
    print("bids", [(str(level.price), str(level.size)) for level in bids])
    print("asks", [(str(level.price), str(level.size)) for level in asks])
    print("bids as a dict:", book.bids == {Decimal("0.45"): 60, Decimal("0.44"): 250})
    print("the NO side:", book.mirrored())


if __name__ == "__main__":
    main()
