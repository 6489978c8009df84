"""LocalBook and its views against two plain dicts keyed by decimal.Decimal, which keep the first
key written just as the book does: 0.5 then 0.50 leaves one level whose key prints as 0.5."""

from decimal import Decimal

from hypothesis import settings
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, invariant, rule
from orvane._core import LocalBook

PRICES = ["0.5", "0.50", "0.1", "0.10", "0.45", "0.9", "1", "0.333"]
SIZES = ["0", "0.00", "-3", "1", "2.5", "2.50", "10", "10.0"]


def given_as(texts):
    # The same value as text, as a Decimal, as a float (which converts from its shortest text), or
    # for 1 as True.
    return st.sampled_from(texts).flatmap(
        lambda t: st.sampled_from([t, Decimal(t), float(t)] + [True] * (t == "1")),
    )


def key(value):
    return Decimal(1) if value is True else Decimal(str(value))


sides = st.sampled_from(["bid", "ask"])
# Only the exact text "bid" selects the bids.
side_texts = st.sampled_from(["bid", "ask", "BID", "", "bid ", "\ud800"])
prices = given_as(PRICES)
sizes = given_as(SIZES)
level_pairs = st.lists(st.tuples(prices, sizes), max_size=6)


def text(levels):
    return [(str(p), str(s)) for p, s in levels]


class BookModel(RuleBasedStateMachine):
    def __init__(self):
        super().__init__()
        self.book = LocalBook()
        assert self.book.sequence is self.book.timestamp is None
        self.model = {"bid": {}, "ask": {}}
        self.ready = False
        # No write touches these; a mirrored book shares them.
        self.book.sequence, self.book.timestamp = self.fields = object(), object()

    def view(self, side):
        return self.book.bids if side == "bid" else self.book.asks

    def written(self, got, levels, price, size):
        if size > 0:
            levels[price] = size
        else:
            levels.pop(price, None)
        assert type(got) is Decimal and str(got) == str(size if size > 0 else Decimal(0))

    @rule(side=side_texts, price=prices, size=sizes)
    def set(self, side, price, size):
        levels = self.model["bid" if side == "bid" else "ask"]
        self.written(self.book.set(side, price, size), levels, key(price), key(size))

    @rule(side=side_texts, price=prices, delta=sizes)
    def add(self, side, price, delta):
        levels = self.model["bid" if side == "bid" else "ask"]
        size = levels.get(key(price), Decimal(0)) + key(delta)
        self.written(self.book.add(side, price, delta), levels, key(price), size)

    @rule(bids=level_pairs, asks=level_pairs)
    def replace(self, bids, asks):
        # `replace` reads its input before it takes the book, so the input may read the book.
        self.book.replace((pair for pair in bids if self.book.levels(0)), iter(asks))
        for side, pairs in (("bid", bids), ("ask", asks)):
            self.model[side] = {key(p): key(s) for p, s in pairs if key(s) > 0}
        self.ready = True

    @rule(side=sides, pairs=level_pairs, as_dict=st.booleans())
    def assign(self, side, pairs, as_dict):
        value = dict(pairs) if as_dict else pairs
        setattr(self.book, "bids" if side == "bid" else "asks", value)
        self.model[side] = {key(p): key(s) for p, s in (value.items() if as_dict else value)}

    @rule(side=sides, price=prices, size=sizes)
    def set_item(self, side, price, size):
        self.view(side)[price] = size
        self.model[side][key(price)] = key(size)

    @rule(side=sides, price=prices)
    def delete(self, side, price):  # a missing key's KeyError: test_book_side
        if key(price) in self.model[side]:
            del self.view(side)[price], self.model[side][key(price)]

    @rule(side=sides, price=prices)
    def pop(self, side, price):
        got = self.view(side).pop(price, "absent")
        assert str(got) == str(self.model[side].pop(key(price), "absent"))

    @rule(ready=st.booleans())
    def set_ready(self, ready):
        self.book.ready = self.ready = ready

    @rule()
    def invalidate(self):
        self.book.invalidate()
        self.ready = False

    # Any non-negative depth is valid; past 64 bits it means every level.
    @rule(depth=st.none() | st.integers(0, 4) | st.sampled_from([2**63, 2**64, 2**200]))
    def levels(self, depth):
        for rows, side in zip(self.book.levels(depth), ("bid", "ask"), strict=True):
            want = sorted(self.model[side].items(), reverse=side == "bid")[:depth]
            assert text((row.price, row.size) for row in rows) == text(want)

    @rule(face=st.sampled_from([None, "1", "0.5", "100"]))
    def mirrored(self, face):
        other = self.book.mirrored() if face is None else self.book.mirrored(face)
        one = Decimal(face or 1)
        for view, source in ((other.bids, self.model["ask"]), (other.asks, self.model["bid"])):
            assert text(view.items()) == text(sorted((one - p, s) for p, s in source.items()))
        assert (other.ready, other.sequence, other.timestamp) == (self.ready, *self.fields)
        other.replace([("0.2", 1)], [])  # the copy is independent
        other.invalidate()

    @invariant()
    def matches_model(self):
        for side in ("bid", "ask"):
            view, levels = self.view(side), self.model[side]
            assert len(view) == len(levels) and view == levels
            assert text(view.items()) == text(view.copy().items()) == text(sorted(levels.items()))
            assert type(view.copy()) is dict and repr(view) == repr(dict(sorted(levels.items())))
        assert str(self.book.best_bid) == str(max(self.model["bid"], default=None))
        assert str(self.book.best_ask) == str(min(self.model["ask"], default=None))
        assert self.book.ready is self.ready
        bids, asks = map(len, self.model.values())
        assert repr(self.book) == f"LocalBook(ready={self.ready}, bids={bids}, asks={asks})"
        assert (self.book.sequence, self.book.timestamp) == self.fields


TestBookModel = BookModel.TestCase
TestBookModel.settings = settings(stateful_step_count=30)
