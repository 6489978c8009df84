"""Router view, merge and walk from Python: results, argument errors, re-entrant fee callables and
the references they leave behind."""

import gc
import inspect
import sys
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


def bucket(text):
    """ "a 0.39x2 0.42x4; b 0.40x3" -> [("a", [(0.39, 2), (0.42, 4)]), ("b", [(0.40, 3)])]"""
    members = []
    for member in filter(None, text.split(";")):
        market_id, *levels = member.split()
        members.append((market_id, rows(*(level.split("x") for level in levels))))
    return members


# members; fee per member (else 0); buy; walk's (quantity, limit, excluded); slots as
# "market_id quantity cost fee worst"; remaining; reason
WALKS = [
    ("", {}, True, (5, 1, []), [], "5", "liquidity"),
    ("a 0.4x1", {}, True, (0, 1, []), [], "0", ""),
    ("a 0.4x1", {}, False, (D(-2), 0, []), [], "-2", ""),
    # Nets 0.41, 0.42, 0.43: the limit is inclusive.
    ("a 0.41x10; b 0.43x10; c 0.42x10", {}, True, (25, D("0.42"), []),
     ["a 10 4.10 0.00 0.41", "c 10 4.20 0.00 0.42"], "5", "worst_price"),
    # a's levels around b's make one slot whose worst is the higher price; cost includes the fee.
    ("a 0.39x2 0.42x4; b 0.40x3", {"a": D("0.01")}, True, (8, 1, []),
     ["a 5 2.09 0.05 0.42", "b 3 1.20 0.00 0.40"], "0", ""),
    # Sell: cost is the price less the fee; the worst price is the lowest; a negative fee is none.
    ("a 0.60x5 0.55x5; b 0.55x5", {"a": D("0.02"), "b": D("-0.01")}, False, (12, 0, ()),
     ["a 7 3.96 0.14 0.55", "b 5 2.75 0.00 0.55"], "0", ""),
    # An excluded member is skipped even beyond the limit: the ladder runs out instead.
    ("a 0.40x10; b 0.60x10", {}, True, (15, D("0.50"), ["b", "zzz"]),
     ["a 10 4.00 0.00 0.40"], "5", "liquidity"),
    # A level of size 0 still opens its member's slot.
    ("a 0.41x5; b 0.40x0", {}, True, (5, 1, []),
     ["b 0 0.00 0.00 0.40", "a 5 2.05 0.00 0.41"], "0", ""),
]  # fmt: skip


@pytest.mark.parametrize(("text", "fees", "buy", "args", "slots", "remaining", "reason"), WALKS)
def test_walks(text, fees, buy, args, slots, remaining, reason):
    members = bucket(text)
    levels = router_levels(members, lambda market_id, price, one: fees.get(market_id, 0), buy)
    assert len(levels) == sum(len(r) for _, r in members)
    got = levels.walk(buy, *args)
    assert exact(got) == ([tuple(slot.split()) for slot in slots], remaining, reason)
    assert type(got[0]) is list and type(got[2]) is str
    # Market ids come back as the objects passed in.
    assert all(any(slot[0] is market_id for market_id, _ in members) for slot in got[0])


def test_walk_none_when_not_exact_or_not_a_number():
    levels = router_levels([("a", rows(("0.4234567890123456789012345678", "10")))], no_fee, True)
    assert levels.walk(True, D("1.5"), 1, []) is None  # net x take needs 29 places
    assert levels.walk(True, "abc", 1, []) is None
    assert levels.walk(True, 1, D("nan"), []) is None


def test_walk_excluded_by_exact_utf8_text():
    levels = router_levels([("é", rows(("0.4", "1"))), ("e", rows(("0.5", "1")))], no_fee, True)
    assert levels.walk(True, 2, 1, ["é"])[0][0][0] == "e"
    assert [s[0] for s in levels.walk(True, 2, 1, ["É", "e\u0301"])[0]] == ["é", "e"]
    with pytest.raises(UnicodeEncodeError):
        router_levels([("\ud800", [])], no_fee, True).walk(True, 1, 1, [])


FEES = [
    (lambda m, p, one: 0.01, None),
    (lambda m, p, one: "0.01", None),
    (lambda m, p, one: None, None),
    (lambda m, p, one: D("nan"), None),
    (lambda m, p, one: 10**40, None),
    (lambda m, p, one: D("-0.01"), "0.50"),  # no fee: the net keeps the price's digits
    (lambda m, p, one: D("0.000"), "0.50"),
    (lambda m, p, one: True, "1.50"),
    (lambda m, p, one: type("Fee", (D,), {})("0.01"), "0.51"),
    (lambda m, p, one: one, "1.50"),
]


@pytest.mark.parametrize(("fee", "net"), FEES)
def test_fee_answers(fee, net):
    levels = router_levels([("a", rows(("0.50", "1")))], fee, True)
    if net is None:
        assert levels is None
    else:
        assert str(levels.walk(True, 1, 100, [])[0][0][2]) == net


def test_fee_receives_the_rows_price_and_one_shared_decimal_one():
    price = D("0.5")
    calls = []
    router_levels(
        [("a", [(price, 1), (price, 2)]), ("b", [("0.6", 1)])],
        lambda m, p, one: calls.append((m, p, one)) or 0,
        True,
    )
    assert [m for m, _, _ in calls] == ["a", "a", "b"]
    assert calls[0][1] is price and calls[2][1] == "0.6"
    assert len({id(one) for _, _, one in calls}) == 1 and calls[0][2] == 1


def test_fee_may_shorten_or_extend_the_members():
    members = [("a", rows(("0.4", "1"), ("0.5", "1"))), ("b", rows(("0.6", "1")))]

    def clearing(market_id, price, one):
        members.clear()  # ends the merge after a's rows, which are still read
        return 0

    levels = router_levels(members, clearing, True)
    assert len(levels) == 2 and levels.walk(True, 5, 1, [])[0][0][:2] == ("a", 2)

    members = [("a", rows(("0.4", "1")))]
    levels = router_levels(
        members, lambda m, p, one: members.append(("b", rows(("0.1", "1")))) or 0, True
    )
    assert len(levels) == 1 and len(members) == 2


class Boom(Exception):
    pass


def raising_fee(market_id, price, one):
    raise Boom


class SpoofedClass:
    @property
    def __class__(self):
        raise Boom


def test_errors_of_the_fee_and_of_the_rows_propagate():
    with pytest.raises(Boom):
        router_levels([("a", rows(("0.4", "1")))], raising_fee, True)
    with pytest.raises(Boom):
        router_levels([("a", rows(("0.4", "1")))], lambda m, p, one: SpoofedClass(), True)

    def rows_raising():
        yield (D("0.4"), 1)
        raise Boom

    with pytest.raises(Boom):
        router_levels([("a", rows_raising())], no_fee, True)


class Interrupting:
    def __str__(self):
        raise KeyboardInterrupt


def test_a_refused_conversion_is_none_but_an_interrupt_is_not():
    assert router_levels([("a", [("abc", 1)])], no_fee, True) is None
    with pytest.raises(KeyboardInterrupt):
        router_levels([("a", [(Interrupting(), 1)])], no_fee, True)
    with pytest.raises(KeyboardInterrupt):
        router_levels([], no_fee, True).walk(True, Interrupting(), 1, [])


JUNK = [0, 2, True, 0.5, "0.1", None, D("0.01"), D("-0"), D("nan"), 10**40, ("a", []), ("a", 1)]


@given(st.data())
def test_a_hostile_fee_never_crashes(data):
    """The fee mutates the members and their rows and answers anything; the merge stays sound."""
    row_lists = [rows(("0.4", "1"), ("0.5", "2"), ("0.6", "3")) for _ in range(3)]
    members = [(market_id, r) for market_id, r in zip("abc", row_lists, strict=True)]

    def fee(market_id, price, one):
        action = data.draw(
            st.sampled_from(["", "clear", "pop", "append", "replace", "rows", "raise"])
        )
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
        elif action == "raise":
            raise Boom
        return data.draw(st.sampled_from(JUNK))

    try:
        levels = router_levels(members, fee, data.draw(st.booleans()))
    except (Boom, TypeError, ValueError):
        return
    if levels is not None:
        assert levels.walk(True, 100, 100, ["a"])[1] >= 0


NOT_BOOL = "'int' object is not an instance of 'bool'"
# (call, exception type, message or None, the parameter named by the note or None)
ARGUMENT_ERRORS = [
    (lambda: router_levels([], no_fee), TypeError,
     "router_levels() missing 1 required positional argument: 'buy'", None),
    (lambda: router_levels((), no_fee, True), TypeError,
     "'tuple' object is not an instance of 'list'", "members"),
    (lambda: router_levels([], no_fee, 1), TypeError, NOT_BOOL, "buy"),
    (lambda: router_levels([["a", []]], no_fee, True), TypeError,
     "'list' object is not an instance of 'tuple'", None),
    (lambda: router_levels([("a", [], 1)], no_fee, True), ValueError,
     "expected tuple of length 2, but got tuple of length 3", None),
    (lambda: router_levels([(b"a", [])], no_fee, True), TypeError,
     "'bytes' object is not an instance of 'str'", None),
    (lambda: router_levels([("a", 5)], no_fee, True), TypeError, "'int' object is not iterable", None),
    (lambda: router_levels([("a", [[1, 1]])], no_fee, True), TypeError,
     "'list' object is not an instance of 'tuple'", None),
    (lambda: router_levels([("a", [(1,)])], no_fee, True), ValueError,
     "expected tuple of length 2, but got tuple of length 1", None),
    (lambda: router_view(LocalBook(), None), TypeError, "'None' is not an instance of 'bool'", "flip"),
    (lambda: router_view({}, 0), TypeError, NOT_BOOL, "flip"),
    (lambda: router_view(book=LocalBook()), TypeError,
     "router_view() missing 1 required positional argument: 'flip'", None),
    (lambda: EMPTY.walk(1, 1, 1, []), TypeError, NOT_BOOL, "buy"),
    (lambda: EMPTY.walk(True, 1, 1, "ab"), TypeError, "Can't extract `str` to `Vec`", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, {"a"}), TypeError,
     "'set' object is not an instance of 'Sequence'", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, ["a", 1]), TypeError,
     "'int' object is not an instance of 'str'", "excluded"),
    (lambda: EMPTY.walk(True, 1, 1, ["\udc80"]), UnicodeEncodeError, None, "excluded"),
    (lambda: EMPTY.walk(True, 1, 1), TypeError,
     "RouterLevels.walk() missing 1 required positional argument: 'excluded'", None),
    (lambda: EMPTY.walk(True, 1, 1, [], x=1), TypeError,
     "RouterLevels.walk() got an unexpected keyword argument 'x'", None),
    (RouterLevels, TypeError, "cannot create 'orvane._core.RouterLevels' instances", None),
]  # fmt: skip
EMPTY = router_levels([], no_fee, True)


@pytest.mark.parametrize(("call", "kind", "message", "note"), ARGUMENT_ERRORS)
def test_argument_errors(call, kind, message, note):
    with pytest.raises(kind) as info:
        call()
    if message is not None:
        assert str(info.value) == message
    notes = getattr(info.value, "__notes__", [])
    assert notes == ([] if note is None else [f"while processing '{note}'"])


def book(bids, asks):
    b = LocalBook()
    b.bids = rows(*bids)
    b.asks = rows(*asks)
    return b


def test_views_plain_and_flipped():
    b = book([("0.40", "10"), ("0.39", "0"), ("0.38", "5")], [("0.45", "7"), ("0.46", "-1")])
    assert exact(router_view(b, False)) == ((("0.45", "7"),), (("0.40", "10"), ("0.38", "5")))
    assert exact(router_view(b, flip=True)) == ((("0.60", "10"), ("0.62", "5")), (("0.55", "7"),))
    assert router_view(LocalBook(), True) == ((), ())
    assert router_view(book([("5.0000000000000000000000000000", "1")], []), True) is None
    assert router_view(book([("5.0000000000000000000000000000", "1")], []), False) is not None


def raise_boom(self):
    raise Boom


def raise_attribute_error(self):
    raise AttributeError("side")


class HiddenSide(LocalBook):
    side = property(raise_attribute_error)


class BrokenSide(LocalBook):
    side = property(raise_boom)


class SidedBook(LocalBook):
    side = "yes"


def test_only_local_books_without_a_side_are_viewed():
    for other in ({}, None, type("Shaped", (), {"bids": {}, "asks": {}})()):
        assert router_view(other, False) is None
    hidden = HiddenSide()
    hidden.set("bid", "0.4", 1)
    assert exact(router_view(hidden, False)) == ((), (("0.4", "1"),))
    with pytest.raises(Boom):
        router_view(BrokenSide(), False)
    assert router_view(SidedBook(), False) is None


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
        pytest.skip("LocalBook.set no longer runs Python code inside its exclusive access")


def test_references_are_not_kept():
    fee_value = D("0.01")
    market_id = "".join(chr(c) for c in b"market")  # not interned
    members = [(market_id, rows(("0.4", "1")))]
    item = members[0]
    counted = (fee_value, market_id, members, item)
    before = [sys.getrefcount(o) for o in counted]
    for fee in (lambda m, p, one: fee_value, lambda m, p, one: 0.5, raising_fee):
        for _ in range(50):
            try:
                levels = router_levels(members, fee, True)
            except Boom:
                levels = None
            if levels is not None:
                for _ in range(3):
                    levels.walk(True, 1, 1, [market_id])
            del levels
    assert [sys.getrefcount(o) for o in counted] == before


def test_a_cycle_through_a_market_id_is_collected():
    class MarketId(str):
        pass

    market_id = MarketId("a")
    market_id.levels = router_levels([(market_id, [])], no_fee, True)
    alive = weakref.ref(market_id)
    del market_id
    gc.collect()
    assert alive() is None


SIGNATURES = [
    (router_view, "(book, flip)"),
    (router_levels, "(members, fee, buy)"),
    (RouterLevels.walk, "($self, buy, quantity, limit, excluded)"),
]


@pytest.mark.parametrize(("target", "signature"), SIGNATURES)
def test_text_signatures(target, signature):
    assert target.__text_signature__ == signature
    assert str(inspect.signature(target)) == signature.replace("$self", "self, /")
    assert target.__doc__


def test_class_docstring():
    assert (
        RouterLevels.__doc__ == "One side of the members' books merged and sorted best-net first."
    )
    assert RouterLevels.__module__ == "orvane._core" and RouterLevels.__qualname__ == "RouterLevels"


def test_router_levels_cannot_be_patched_or_extended():
    with pytest.raises(TypeError, match="immutable type"):
        RouterLevels.walk = None
    levels = router_levels([], no_fee, True)
    with pytest.raises(AttributeError):
        levels.extra = 1


@pytest.mark.parametrize(
    "text",
    ["1.55E-27", "0.12345678901234567890123456789", "79228162514264337593543950335.5"],
)
def test_inputs_a_decimal_holds_only_rounded_give_none(text):
    assert router_levels([("a", ((D(text), D(1)),))], lambda *_: 0, True) is None
    assert router_levels([("a", ((D("0.5"), D(text)),))], lambda *_: 0, True) is None
    levels = router_levels([("a", ((D("0.5"), D(1)),))], lambda *_: 0, True)
    assert levels.walk(True, D(text), D(1), ()) is None
    assert levels.walk(True, D(1), D(text), ()) is None
    # Zeros beyond the 28th place lose nothing.
    assert len(router_levels([("a", ((D("0.5" + "0" * 30), D(1)),))], lambda *_: 0, True)) == 1
