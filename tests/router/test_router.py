"""Router view, merge and walk: what the exact-decimal reference does not model (fees that change
the members, errors, inputs a Decimal cannot hold; a ladder's cycles are test_objects')."""

from decimal import Decimal as D

import pytest
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import LocalBook, router_levels, router_view

no_fee = lambda market_id, price, one: 0


def rows(*pairs):
    return [(D(p), D(s)) for p, s in pairs]


# A fee that changes the member list mid-merge: clearing it ends the merge after a's rows, which are
# still read; the count seen at the start bounds the merge, so an appended member is not read.
@pytest.mark.parametrize(
    ("change", "filled"),
    [(list.clear, ["a"]), (lambda members: members.append(("c", rows(("0.1", "1")))), ["a", "b"])],
)
def test_fee_may_shorten_or_extend_the_members(change, filled):
    members = [("a", rows(("0.4", "1"), ("0.5", "1"))), ("b", rows(("0.6", "1")))]
    levels = router_levels(members, lambda m, p, one: change(members) or 0, True)
    assert [slot[0] for slot in levels.walk(True, 5, 1, [])[0]] == filled
    assert len(levels) == len(filled) + 1


Boom = type("Boom", (Exception,), {})


def raise_(error):
    def raising(*args):
        raise error

    return raising


JUNK = [0, 2, True, 0.5, "0.1", None, D("0.01"), D("-0"), D("nan"), 10**40, ("a", []), ("a", 1)]


@given(st.data())
def test_a_hostile_fee_never_crashes(data):
    """The fee mutates the members and their rows and answers anything; the merge stays sound."""
    row_lists = [rows(("0.4", "1"), ("0.5", "2"), ("0.6", "3")) for _ in range(3)]
    members = [(market_id, r) for market_id, r in zip("abc", row_lists, strict=True)]
    actions = [
        lambda: None,
        members.clear,
        lambda: members and members.pop(0),
        lambda: members.append(("d", rows(("0.1", "1")))),
        lambda: members and members.__setitem__(-1, data.draw(st.sampled_from(JUNK))),
        lambda: data.draw(st.sampled_from(row_lists)).clear(),
        raise_(Boom),
    ]

    def fee(market_id, price, one):
        data.draw(st.sampled_from(actions))()
        return data.draw(st.sampled_from(JUNK))

    try:
        levels = router_levels(members, fee, data.draw(st.booleans()))
    except (Boom, TypeError, ValueError):
        return
    if levels is not None:
        assert levels.walk(True, 100, 100, ["a"])[1] >= 0


Interrupting = type("Interrupting", (), {"__str__": raise_(KeyboardInterrupt)})


HiddenSide = type("HiddenSide", (LocalBook,), {"side": property(raise_(AttributeError("side")))})
BrokenSide = type("BrokenSide", (LocalBook,), {"side": property(raise_(Boom))})
A = [("a", rows(("0.4", "1")))]
EMPTY = router_levels([], no_fee, True)
# (call, exception type, message or None, the parameter named by the note or None). Errors raised
# by the fee, the rows or the book propagate untouched; an interrupt is never turned into None.
ERRORS = [
    (lambda: router_levels(A, raise_(Boom), True), Boom, None, None),
    (lambda: router_levels([("a", ((D(1), 1 // x) for x in (1, 0)))], no_fee, True), ZeroDivisionError, None, None),
    (lambda: router_view(BrokenSide(), False), Boom, None, None),
    (lambda: router_levels([("a", [(Interrupting(), 1)])], no_fee, True), KeyboardInterrupt, None, None),
    (lambda: EMPTY.walk(True, Interrupting(), 1, []), KeyboardInterrupt, None, None),
    (lambda: router_levels((), no_fee, True), TypeError, "'tuple' object is not an instance of 'list'", "members"),
    (lambda: router_levels([["a", []]], no_fee, True), TypeError, "'list' object is not an instance of 'tuple'", None),
    (lambda: EMPTY.walk(True, 1, 1, "ab"), TypeError, "Can't extract `str` to `Vec`", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, ["\udc80"]), UnicodeEncodeError, None, "excluded"),
    (lambda: router_levels([("\ud800", [])], no_fee, True).walk(True, 1, 1, []), UnicodeEncodeError, None, None),
]  # fmt: skip


@pytest.mark.parametrize(("call", "kind", "message", "note"), ERRORS)
def test_errors(call, kind, message, note):
    with pytest.raises(kind) as info:
        call()
    assert message is None or str(info.value) == message
    assert getattr(info.value, "__notes__", []) == [f"while processing '{note}'"] * bool(note)


def test_only_local_books_without_a_side_are_viewed():
    shaped = type("Shaped", (), {"bids": {}, "asks": {}})()
    for other in ({}, None, shaped, type("SidedBook", (LocalBook,), {"side": "yes"})()):
        assert router_view(other, False) is None
    hidden = HiddenSide()
    hidden.set("bid", "0.4", 1)
    assert str(router_view(hidden, False)) == "((), ((Decimal('0.4'), Decimal('1')),))"


# Inputs must be exact: what a Decimal could hold only rounded, or not at all, gives None.
@pytest.mark.parametrize("value", [D("1.55E-27"), D("0.12345678901234567890123456789"), D("79228162514264337593543950335.5"), D("nan"), "abc"])  # fmt: skip
def test_inputs_a_decimal_holds_only_rounded_give_none(value):
    assert router_levels([("a", [(value, D(1))])], no_fee, True) is None
    assert router_levels([("a", [(D("0.5"), value)])], no_fee, True) is None
    levels = router_levels(A, no_fee, True)
    assert levels.walk(True, value, D(1), ()) is None and levels.walk(True, D(1), value, ()) is None
    # Zeros beyond the 28th place lose nothing.
    assert len(router_levels([("a", ((D("0.5" + "0" * 30), D(1)),))], no_fee, True)) == 1
