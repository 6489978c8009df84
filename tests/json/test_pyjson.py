"""JSON values reaching Python: passed-through fields equal `json.loads` of the same text, and a
number is the correctly rounded float, whose repr() is a price's text."""

import json
import math
from decimal import Decimal

from hypothesis import example, given
from hypothesis import strategies as st
from orvane._core import LocalBook, kalshi_book_message, opinion_depth

INT64 = st.integers(min_value=-(2**63), max_value=2**64 - 1)
FLOATS = st.floats(allow_nan=False, allow_infinity=False)
json_values = st.recursive(
    st.none() | st.booleans() | INT64 | FLOATS | st.text(),
    lambda x: st.lists(x, max_size=4) | st.dictionaries(st.text(max_size=4), x, max_size=4),
    max_leaves=20,
)


@given(json_values, st.booleans())
@example([2**64 - 1, -(2**63), -1, 1e2, 0.1, -0.0], True)
def test_passed_through_values_equal_json_loads(value, ascii_only):
    text = json.dumps({"type": "orderbook_snapshot", "sid": value}, ensure_ascii=ascii_only)
    # Compared by repr, which tells True from 1, 1 from 1.0 and 0.0 from -0.0, and shows the order
    # of an object's members: by name.
    expected = repr(json.loads(text, object_pairs_hook=lambda pairs: dict(sorted(pairs)))["sid"])
    assert repr(kalshi_book_message(text, {}).sid) == expected
    text = json.dumps({"type": "orderbook_snapshot", "msg": {"market_id": value}})
    info = kalshi_book_message(text, books := {}).apply(books)[7]
    assert repr(info["market_id"]) == expected


# Number texts of up to 40 significant digits, with leading zeros after the point, exponents near
# both ends of the double range, and every float as json.dumps writes it.
digits = st.integers(0, 10**20).map(str)
exponents = st.one_of(st.integers(-345, -290), st.integers(-30, 30), st.integers(280, 320))
number_texts = st.builds(
    "{}{}{}{}".format,
    st.sampled_from(["", "-"]),
    digits,
    st.just("") | st.builds(lambda zeros, d: "." + "0" * zeros + d, st.integers(0, 30), digits),
    st.just("") | exponents.map("e{}".format),
) | FLOATS.map(json.dumps)
# Through the plain reader as written; the escaped member sends the same frame to the general one.
READERS = ["", r',"x":"\u0041"']


@given(number_texts, st.sampled_from(READERS))
@example("0.85000000000000000000", "")
@example("0.18446744073709551616", READERS[1])
@example("0.8500000000000000000000000000", "")
@example("-1e-400", READERS[1])
@example("2.4e-324", READERS[1])
@example("1.7976931348623159e308", READERS[1])
@example("18446744073709551616", "")
@example("-0", READERS[1])
@example("-9223372036854775809", "")
@example("9007199254740993", "")
def test_numbers_read_correctly_rounded(text, tail):
    expected = float(text)
    message = kalshi_book_message(f'{{"type":"orderbook_snapshot","sid":{text}{tail}}}', {})
    change = opinion_depth(
        f'{{"msgType":"market.depth.diff","side":"bids","price":{text},"size":1{tail}}}'
    )
    if math.isinf(expected):
        assert message is None and change is None
        return
    # An integer that fits 64 bits stays an integer, exact; any other number is read as a float,
    # and a price's Decimal is that float's repr().
    integer = not any(c in text for c in ".eE") and -(2**63) <= int(text) < 2**64
    assert repr(message.sid) == repr(int(text) if integer else expected)
    exact = Decimal(int(text)) if integer else Decimal(repr(expected))
    _sign, digits, exponent = exact.as_tuple()
    if exponent < -28 or int("".join(map(str, digits))) * 10 ** max(exponent, 0) >= 2**96:
        return  # the Decimal would round or refuse: the grammar's own tests cover that
    (level,), _, _, _ = change.apply(LocalBook())
    assert level.price == exact
    if not integer and "e" not in repr(expected):
        assert str(level.price) == repr(expected)
