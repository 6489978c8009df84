"""Router view, merge and walk from Python: results, argument errors, re-entrant fee callables and
the references they leave behind."""

import gc
import weakref
from decimal import Decimal as D

import pytest
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import LocalBook, RouterLevels, router_levels, router_view


def no_fee(market_id, price, one):
    return 0


def exact(value):
    """Representation, not value: 0.5 and 0.50 differ."""
    if isinstance(value, D):
        return str(value)
    if isinstance(value, (list, tuple)):
        return type(value)(exact(item) for item in value)
    return value


def rows(*pairs):
    return [(D(p), D(s)) for p, s in pairs]


def test_walk_excluded_by_exact_utf8_text():
    levels = router_levels([("é", rows(("0.4", "1"))), ("e", rows(("0.5", "1")))], no_fee, True)
    assert levels.walk(True, 2, 1, ["é"])[0][0][0] == "e"
    assert [s[0] for s in levels.walk(True, 2, 1, ["É", "e\u0301"])[0]] == ["é", "e"]
    with pytest.raises(UnicodeEncodeError):
        router_levels([("\ud800", [])], no_fee, True).walk(True, 1, 1, [])


ONE = object()  # the fee answers the `one` it was given
# (the fee's answer, the net it gives a 0.50 buy, or None when the merge refuses the answer)
FEES = [
    (0.01, None), ("0.01", None), (None, None), (D("nan"), None), (10**40, None),
    (D("-0.01"), "0.50"), (D("0.000"), "0.50"),  # no fee: the net keeps the price's digits
    (True, "1.50"), (type("Fee", (D,), {})("0.01"), "0.51"), (ONE, "1.50"),
]  # fmt: skip


@pytest.mark.parametrize(("answer", "net"), FEES)
def test_fee_answers(answer, net):
    fee = lambda m, p, one: one if answer is ONE else answer
    levels = router_levels([("a", rows(("0.50", "1")))], fee, True)
    assert (levels is None) if net is None else str(levels.walk(True, 1, 100, [])[0][0][2]) == net


# A fee that changes the member list mid-merge: (change, market ids filled by a walk through all)
REENTRANT = [
    (list.clear, ["a"]),  # ends the merge after a's rows, which are still read
    # The count seen at the start bounds the merge: an appended member is not read.
    (lambda members: members.append(("c", rows(("0.1", "1")))), ["a", "b"]),
]


@pytest.mark.parametrize(("change", "filled"), REENTRANT)
def test_fee_may_shorten_or_extend_the_members(change, filled):
    members = [("a", rows(("0.4", "1"), ("0.5", "1"))), ("b", rows(("0.6", "1")))]
    levels = router_levels(members, lambda m, p, one: change(members) or 0, True)
    assert [slot[0] for slot in levels.walk(True, 5, 1, [])[0]] == filled
    assert len(levels) == len(filled) + 1


class Boom(Exception):
    pass


def raising_fee(market_id, price, one):
    raise Boom


class SpoofedClass:
    @property
    def __class__(self):
        raise Boom


def rows_raising():
    yield (D("0.4"), 1)
    raise Boom


class Interrupting:
    def __str__(self):
        raise KeyboardInterrupt


JUNK = [0, 2, True, 0.5, "0.1", None, D("0.01"), D("-0"), D("nan"), 10**40, ("a", []), ("a", 1)]


@given(st.data())
def test_a_hostile_fee_never_crashes(data):
    """The fee mutates the members and their rows and answers anything; the merge stays sound."""
    row_lists = [rows(("0.4", "1"), ("0.5", "2"), ("0.6", "3")) for _ in range(3)]
    members = [(market_id, r) for market_id, r in zip("abc", row_lists, strict=True)]

    def fee(market_id, price, one):
        action = data.draw(st.sampled_from(["", "clear", "pop", "append", "replace", "rows", "x"]))
        if action == "clear":
            members.clear()
        elif action == "pop" and members:
            members.pop(0)
        elif action == "append":
            members.append(("d", rows(("0.1", "1"))))
        elif action == "replace" and members:
            members[-1] = data.draw(st.sampled_from(JUNK))
        elif action == "rows":
            data.draw(st.sampled_from(row_lists)).clear()
        elif action == "x":
            raise Boom
        return data.draw(st.sampled_from(JUNK))

    try:
        levels = router_levels(members, fee, data.draw(st.booleans()))
    except (Boom, TypeError, ValueError):
        return
    if levels is not None:
        assert levels.walk(True, 100, 100, ["a"])[1] >= 0


NOT_BOOL = "'int' object is not an instance of 'bool'"
A = [("a", rows(("0.4", "1")))]
# (call, exception type, message or None, the parameter named by the note or None). Errors raised
# by the fee, the rows or the book propagate untouched; an interrupt is never turned into None.
ERRORS = [
    (lambda: router_levels(A, raising_fee, True), Boom, None, None),
    (lambda: router_levels(A, lambda m, p, one: SpoofedClass(), True), Boom, None, None),
    (lambda: router_levels([("a", rows_raising())], no_fee, True), Boom, None, None),
    (lambda: router_view(BrokenSide(), False), Boom, None, None),
    (lambda: router_levels([("a", [(Interrupting(), 1)])], no_fee, True), KeyboardInterrupt,
     None, None),
    (lambda: EMPTY.walk(True, Interrupting(), 1, []), KeyboardInterrupt, None, None),
    (lambda: router_levels((), no_fee, True), TypeError,
     "'tuple' object is not an instance of 'list'", "members"),
    (lambda: router_levels([["a", []]], no_fee, True), TypeError,
     "'list' object is not an instance of 'tuple'", None),
    (lambda: router_levels([(b"a", [])], no_fee, True), TypeError,
     "'bytes' object is not an instance of 'str'", None),
    (lambda: router_levels([("a", 5)], no_fee, True), TypeError, "'int' object is not iterable", None),
    (lambda: router_levels([("a", [(1,)])], no_fee, True), ValueError,
     "expected tuple of length 2, but got tuple of length 1", None),
    (lambda: router_view({}, 0), TypeError, NOT_BOOL, "flip"),
    (lambda: EMPTY.walk(True, 1, 1, "ab"), TypeError, "Can't extract `str` to `Vec`", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, {"a"}), TypeError,
     "'set' object is not an instance of 'Sequence'", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, ["a", 1]), TypeError,
     "'int' object is not an instance of 'str'", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, ["\udc80"]), UnicodeEncodeError, None, "excluded"),
    (RouterLevels, TypeError, "cannot create 'orvane._core.RouterLevels' instances", None),
]  # fmt: skip
EMPTY = router_levels([], no_fee, True)


@pytest.mark.parametrize(("call", "kind", "message", "note"), ERRORS)
def test_errors(call, kind, message, note):
    with pytest.raises(kind) as info:
        call()
    if message is not None:
        assert str(info.value) == message
    notes = getattr(info.value, "__notes__", [])
    assert notes == ([] if note is None else [f"while processing '{note}'"])


def raise_(error):
    def raising(self):
        raise error

    return property(raising)


HiddenSide = type("HiddenSide", (LocalBook,), {"side": raise_(AttributeError("side"))})
BrokenSide = type("BrokenSide", (LocalBook,), {"side": raise_(Boom)})


def test_only_local_books_without_a_side_are_viewed():
    for other in ({}, None, type("Shaped", (), {"bids": {}, "asks": {}})()):
        assert router_view(other, False) is None
    hidden = HiddenSide()
    hidden.set("bid", "0.4", 1)
    assert exact(router_view(hidden, False)) == ((), (("0.4", "1"),))
    assert router_view(type("SidedBook", (LocalBook,), {"side": "yes"})(), False) is None


def test_view_inside_an_exclusive_access_is_an_invariant_failure():
    b = LocalBook()

    class Reentering:
        def __str__(self):
            router_view(b, False)
            return "0.5"

    try:
        b.set("bid", Reentering(), 1)
    except BaseException as error:  # noqa: BLE001 - the invariant failure is not an Exception
        assert not isinstance(error, Exception)
        assert str(error).startswith("Already mutably borrowed")
    else:
        pytest.fail(
            "LocalBook.set no longer runs Python code inside its exclusive access: re-enter another way"
        )


def test_a_cycle_through_a_market_id_is_collected():
    class MarketId(str):
        pass

    market_id = MarketId("a")
    market_id.levels = router_levels([(market_id, [])], no_fee, True)
    alive = weakref.ref(market_id)
    del market_id
    gc.collect()
    assert alive() is None


@pytest.mark.parametrize(
    "text",
    ["1.55E-27", "0.12345678901234567890123456789", "79228162514264337593543950335.5"],
)
def test_inputs_a_decimal_holds_only_rounded_give_none(text):
    """Inputs must be exact: what a Decimal could hold only rounded, or not at all, gives None."""
    assert router_levels([("a", ((D(text), D(1)),))], lambda *_: 0, True) is None
    assert router_levels([("a", ((D("0.5"), D(text)),))], lambda *_: 0, True) is None
    levels = router_levels([("a", ((D("0.5"), D(1)),))], lambda *_: 0, True)
    assert levels.walk(True, D(text), D(1), ()) is None
    assert levels.walk(True, D(1), D(text), ()) is None
    assert levels.walk(True, "abc", 1, []) is None and levels.walk(True, 1, D("nan"), []) is None
    assert router_levels([("a", [("abc", 1)])], no_fee, True) is None
    # Zeros beyond the 28th place lose nothing.
    assert len(router_levels([("a", ((D("0.5" + "0" * 30), D(1)),))], lambda *_: 0, True)) == 1
