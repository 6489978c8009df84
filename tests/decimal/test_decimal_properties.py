"""Decimal text parsing, seen through a book side's keys, against `decimal.Decimal(text)` wherever
the value is representable and a model of the grammar (underscores, 28 fractional digits, 96-bit
mantissa, rounding by the first dropped digit, exponent limits) everywhere."""

import re
from decimal import ROUND_HALF_UP, Decimal, InvalidOperation, localcontext

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st
from orvane._core import LocalBook

MAX_MANTISSA = 2**96 - 1
MAX_SCALE = 28


def model_plain(text: str, max_scale: int = MAX_SCALE) -> tuple[int, int, int] | None:
    """(sign, mantissa, scale) of a plain text, or None where it is refused."""
    # Underscores anywhere after the first digit, which may follow the point.
    match = re.fullmatch(r"([+-]?)([0-9][0-9_]*(?:\.[0-9_]*)?|\.[0-9][0-9_]*)", text)
    if match is None:
        return None
    sign = int(match[1] == "-")
    whole, _, fraction = match[2].replace("_", "").partition(".")
    if int(whole or "0") > MAX_MANTISSA:
        return None
    kept = 0
    while (
        kept < min(len(fraction), max_scale) and int(whole + fraction[: kept + 1]) <= MAX_MANTISSA
    ):
        kept += 1
    mantissa, scale = int((whole + fraction[:kept]) or "0"), kept
    if kept < len(fraction) and fraction[kept] >= "5":
        mantissa += 1
        if mantissa > MAX_MANTISSA:
            if scale == 0:
                return None
            mantissa, scale = (mantissa - 1 + 5) // 10, scale - 1
    return sign, mantissa, scale


def model(text: str) -> Decimal | None:
    """What the grammar gives for `text` (as a Decimal with our exponent), or None for a refusal."""
    plain = model_plain(text)
    if plain is None:
        head, marker, tail = text.replace("E", "e").partition("e")
        if not marker or not re.fullmatch(r"[+-]?[0-9]+", tail) or abs(int(tail)) > MAX_SCALE:
            return None
        exponent = int(tail)
        # The exponent sets how many fractional digits the mantissa may keep.
        plain = model_plain(head, MAX_SCALE + exponent)
        if plain is None:
            return None
        sign, mantissa, scale = plain
        scale -= exponent
        if scale < 0:
            mantissa, scale = mantissa * 10**-scale, 0
            if mantissa > MAX_MANTISSA:
                return None
    else:
        sign, mantissa, scale = plain
    return Decimal((sign, tuple(int(d) for d in str(mantissa)), -scale))


digits = st.text("0123456789", min_size=1, max_size=34)
plain_texts = st.builds(
    lambda sign, whole, point, fraction: sign + whole + point + fraction,
    st.sampled_from(["", "", "-", "+"]),
    st.text("0123456789_", max_size=32),
    st.sampled_from(["", ".", "."]),
    st.text("0123456789_", max_size=34),
)
noisy_texts = st.text("0123456789._+-eE x", max_size=40)
scientific_texts = st.builds(
    lambda mantissa, marker, sign, exponent: f"{mantissa}{marker}{sign}{exponent}",
    st.one_of(
        digits,
        st.builds(lambda w, f: f"{w}.{f}", st.text("0123456789", max_size=30), digits),
    ),
    st.sampled_from(["e", "E"]),
    st.sampled_from(["", "-", "+"]),
    st.integers(0, 40).map(str) | st.sampled_from(["07", "4294967296", ""]),
)


# One test over all three kinds of text, with as many examples as three would have.
@settings(max_examples=3 * settings.default.max_examples)
@given(st.one_of(plain_texts, noisy_texts, scientific_texts))
@example("0.123456789012345678901234567850")
@example("7922816251426433759354395033.59")
@example("79228162514264337593543950335.5")
@example("0.00000000000000000000000000001e1")
@example("2.5e-28")
@example("7.9228162514264337593543950335e28")
def test_parsing_matches_the_grammar_and_python_decimal(text: str) -> None:
    expected = model(text)
    side = LocalBook().bids
    if expected is None:
        with pytest.raises(ValueError):
            side[text] = 1
        return
    side[text] = 1
    (got,) = side.keys()
    assert got.as_tuple() == expected.as_tuple(), text
    try:
        exact = Decimal(text)
    except InvalidOperation:
        return
    exponent = min(exact.as_tuple().exponent, 0)
    with localcontext() as ctx:
        ctx.prec = 200
        if exponent >= -MAX_SCALE and abs(exact.scaleb(-exponent)) <= MAX_MANTISSA:
            # Representable: Python's value at Python's exponent (ours stops at 0), sign included.
            assert (got, got.as_tuple().exponent) == (exact, exponent), text
            assert got.is_signed() == exact.is_signed(), text
        else:
            # Not representable: the nearest value at our exponent, a half rounded away from zero.
            quantum = Decimal((0, (1,), got.as_tuple().exponent))
            assert exact.quantize(quantum, rounding=ROUND_HALF_UP) == got, text
