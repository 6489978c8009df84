"""The router in Python's own decimal arithmetic: view a book, merge members into a ladder, walk it.

Every operation runs in a context where a result of more than 28 digits or more than 28 places is
an error: wherever that happens the module answers None, and everywhere else it must give the same
digits and exponents."""

import decimal
from decimal import Decimal

# Emin -1 puts the smallest exponent (Etiny = Emin - prec + 1) at -28: a result below it is rounded
# or clamped, and both trap. A NaN (a fee that is not a number) traps too, even in a comparison.
EXACT = decimal.Context(
    prec=28,
    Emin=-1,
    traps=[decimal.Inexact, decimal.Rounded, decimal.Clamped, decimal.InvalidOperation],
)
ZERO, ONE = Decimal(0), Decimal(1)


def view(bids, asks, flip):
    """A book's (asks, bids) best first, or with `flip` its NO side's (bids, asks) at 1 - p."""

    def side(pairs, descending):
        # An equal price keeps the first key and the last size, as a dict does.
        return tuple(sorted(((p, s) for p, s in dict(pairs).items() if s > 0), reverse=descending))

    book_bids, book_asks = side(bids, True), side(asks, False)
    if not flip:
        return book_asks, book_bids
    try:
        with decimal.localcontext(EXACT):
            return (
                tuple((ONE - p, s) for p, s in book_bids),
                tuple((ONE - p, s) for p, s in book_asks),
            )
    except decimal.DecimalException:
        return None


def merge(members, fee, buy):
    """Ladder rows (price, net, size, member) best net first, or None."""
    ladder = []
    try:
        with decimal.localcontext(EXACT):
            for member, (market_id, rows) in enumerate(members):
                for price, size in rows:
                    unit_fee = fee(market_id, price, ONE)
                    f = unit_fee if unit_fee > 0 else ZERO
                    ladder.append((price, price + f if buy else price - f, size, member))
    except decimal.DecimalException:
        return None
    # sorted() keeps equal keys in input order, in either direction.
    return sorted(ladder, key=lambda level: (level[1], level[0]), reverse=not buy)


def walk(ladder, market_ids, buy, quantity, limit, excluded):
    """(fills per member in first-filled order, remaining, reason), or None."""
    remaining = quantity
    slots = {}  # member -> [quantity, cost, fee, worst]
    try:
        with decimal.localcontext(EXACT):
            for price, net, size, member in ladder:
                if remaining <= 0:
                    reason = ""
                    break
                if market_ids[member] in excluded:
                    continue
                if (net > limit) if buy else (net < limit):
                    reason = "worst_price"
                    break
                take = min(size, remaining)  # on a tie, the level's own size and digits
                slot = slots.setdefault(member, [ZERO, ZERO, ZERO, price])
                slot[0] += take
                slot[1] += net * take
                slot[2] += abs(net - price) * take
                if (price > slot[3]) if buy else (price < slot[3]):
                    slot[3] = price
                remaining -= take
            else:
                reason = "liquidity" if remaining > 0 else ""
    except decimal.DecimalException:
        return None
    return [(market_ids[m], *slot) for m, slot in slots.items()], remaining, reason
