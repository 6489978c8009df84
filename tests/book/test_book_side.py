"""BookSide: a live dict-like view of one side of a LocalBook (its levels against a dict model are
test_book_model's)."""

from collections.abc import Mapping
from decimal import Decimal
from types import MappingProxyType

import pytest
from orvane._core import LocalBook


@pytest.fixture
def book():
    b = LocalBook()
    b.replace([("0.5", 10), ("0.4", "2.50")], [("0.6", 7)])
    return b


# None and tuples are keys too: the KeyError carries them as its one argument.
@pytest.mark.parametrize("key", ["x", "0.7", 0.45, "nan", None, (0, 4)])
def test_missing_or_unconvertible_keys(book, key, snapshot):
    before = snapshot(book)
    side = book.bids
    for action in (side.__getitem__, side.__delitem__, side.pop):
        with pytest.raises(KeyError) as info:
            action(key)
        assert info.value.args == (key,) and info.value.args[0] is key
    assert key not in side and side.get(key) is None and side.get(key, 7) == 7 == side.pop(key, 7)
    with pytest.raises(TypeError, match=r"^pop expected at most 2 arguments, got 3$"):
        side.pop(key, 7, 8)
    assert snapshot(book) == before


class Broken(Mapping):
    __getitem__ = __len__ = lambda self, *key: 2

    def __iter__(self):
        raise LookupError("broken mapping")


EQUALITY = [  # (other, whether the bids equal it)
    ({"0.50": "10.0", 0.4: Decimal("2.5")}, True), (MappingProxyType({"0.5": 10, "0.4": "2.50"}), True),
    ({0.5: 10}, False), ({0.5: 10, 0.4: 3}, False), ({0.5: 10, 0.3: "2.50"}, False),
    ({0.5: 10, 0.4: "x"}, False), ({0.5: 10, (0, 4): 2.5}, False), ([("0.5", 10), ("0.4", "2.50")], False),
]  # fmt: skip


@pytest.mark.parametrize(("other", "equal"), EQUALITY)
def test_equality_with_mappings(book, other, equal):
    assert (book.bids == other) is equal and (book.bids != other) is not equal
    assert (other == book.bids) is equal


def test_equality_between_views_and_unsupported_operations(book):
    other = LocalBook()
    other.bids = {"0.50": "10.00", "0.40": "2.5"}
    assert book.bids == other.bids and book.bids != book.asks
    assert book.bids.__eq__([]) is NotImplemented
    with pytest.raises(LookupError, match="broken mapping"):
        _ = book.bids == Broken()
    with pytest.raises(TypeError, match="^unhashable type: 'BookSide'$"):
        hash(book.bids)


def test_views_are_live_and_keep_their_book(book):
    asks, bids = book.asks, book.bids
    for price in bids:  # over a snapshot of the keys
        del bids[price]
    assert book.bids == {} and not book.bids and len(book.bids) == 0
    book.replace([], [("0.7", 1)])
    del book
    assert asks == {"0.7": 1}
