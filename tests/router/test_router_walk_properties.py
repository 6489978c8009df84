"""Viewing books, merging and walking ladders, checked against the pure-Python router, whose
exact decimal arithmetic answers None exactly where the module must."""

from decimal import Decimal

from hypothesis import example, given
from hypothesis import strategies as st
from orvane._core import LocalBook, router_levels, router_view

from reference import router as reference


def _decimal(coefficient, exponent, negative):
    return Decimal((int(negative), tuple(int(d) for d in str(coefficient)), exponent))


# Every value is one a Decimal holds exactly (at most 28 places, a 96-bit mantissa), so any None
# comes from the arithmetic and not from reading the arguments.
prices = st.builds(_decimal, st.integers(0, 100), st.sampled_from([0, -1, -2, -3]), st.just(False))
small = st.builds(_decimal, st.integers(0, 10**6), st.integers(-6, 0), st.booleans())
wide = st.builds(_decimal, st.integers(0, 2**96 - 1), st.integers(-28, 0), st.booleans())
numbers = st.one_of(prices, small, wide)
# Also integers (True among them, a 41-digit one past the range) and a subclass of Decimal; and
# answers that are not exact numbers, which the reference cannot add and the module refuses.
subclassed = numbers.map(type("Fee", (Decimal,), {}))
others = st.sampled_from([True, 10**40, 0.01, "0.01", None, Decimal("nan")])
fees = st.one_of(numbers, subclassed, st.integers(-2, 2), others)
# Mostly wanted quantities that fill something; sometimes anything at all (zero, negative, wide).
quantities = st.one_of(
    st.builds(_decimal, st.integers(1, 400), st.sampled_from([0, -1]), st.just(False)), numbers
)
# Often no effective limit for one side or the other, so that walks go deep.
limits = st.one_of(numbers, st.sampled_from([Decimal(-1000), Decimal(1000)]))
# Exclusion is by exact text: not case-folded, not normalized, not by prefix.
ids = st.sampled_from(["e", "é", "É", "e\u0301"])
level_pairs = st.lists(st.tuples(numbers, numbers), max_size=5)
# Rows as a list or as a tuple (what router_view gives, read by index).
members_strategy = st.lists(st.tuples(ids, level_pairs | level_pairs.map(tuple), fees), max_size=4)


def ties(buy, *prices):
    """A walk through five members whose nets tie by value (0.51, 0.51 and 0.510 by their fees),
    which rank by price, then in the members' order."""
    rows = [[(Decimal(p), Decimal(10))] for p in prices]
    fees = map(Decimal, ["0", "0.01", "0.02", "0.010", "0"])
    members = list(zip("abcde", rows, fees, strict=True))
    return {"members": members, "buy": buy, "walk_buy": buy, "quantity": Decimal(50),
            "limit": Decimal(1000 if buy else -1000), "excluded": [], "limit_at": None}  # fmt: skip


@example(**ties(True, "0.52", "0.50", "0.49", "0.50", "0.5"))
@example(**ties(False, "0.52", "0.52", "0.53", "0.52", "0.5"))
@given(
    members=members_strategy,
    buy=st.booleans(),
    walk_buy=st.booleans(),
    quantity=quantities,
    limit=limits,
    excluded=st.lists(ids, max_size=2),
    limit_at=st.none() | st.integers(0, 15),
)
def test_walk_matches_exact_decimal_reference(
    members, buy, walk_buy, quantity, limit, excluded, limit_at
):
    fee_of = {market_id: fee for market_id, _rows, fee in reversed(members)}  # the first one wins
    row_prices = {id(price) for _id, rows, _fee in members for price, _size in rows}
    calls = []

    def fee(market_id, price, one):
        assert id(price) in row_prices  # the row's own object, not a converted copy
        calls.append(one)
        return fee_of[market_id]

    given_members = [(market_id, rows) for market_id, rows, _fee in members]
    levels = router_levels(given_members, fee, buy)
    market_ids = [market_id for market_id, _rows in given_members]
    try:
        ladder = reference.merge(given_members, lambda m, p, one: fee_of[m], buy)
    except TypeError:
        ladder = None
    assert (levels is None) == (ladder is None)
    if ladder is None:
        return
    assert len(levels) == len(ladder) == len(calls)
    assert all(type(one) is Decimal and one == 1 and one is calls[0] for one in calls)

    if limit_at is not None and ladder:  # a limit equal to a net: the limit is inclusive
        limit = ladder[limit_at % len(ladder)][1]
    got = levels.walk(walk_buy, quantity, limit, excluded)
    want = reference.walk(ladder, market_ids, walk_buy, quantity, limit, set(excluded))
    assert (got is None) == (want is None)
    if want is None:
        return
    assert type(got[0]) is list and repr(got) == repr(want)  # 0.5 and 0.50 differ, as do 0 and -0
    # Market ids come back as the very objects that were passed in.
    assert all(any(slot[0] is market_id for market_id in market_ids) for slot in got[0])
    # The ladder is immutable: a second walk gives the same answer.
    assert repr(levels.walk(walk_buy, quantity, limit, excluded)) == repr(got)


@given(bids=level_pairs, asks=level_pairs, flip=st.booleans())
def test_view_matches_exact_decimal_reference(bids, asks, flip):
    book = LocalBook()
    book.bids = bids
    book.asks = asks
    got = router_view(book, flip)
    want = reference.view(bids, asks, flip)
    assert (got is None) if want is None else (type(got) is tuple and repr(got) == repr(want))
