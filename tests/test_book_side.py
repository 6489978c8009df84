"""BookSide: a live dict-like view of one side of a LocalBook."""

from collections.abc import Mapping
from decimal import Decimal

import pytest
from orvane._core import BookSide, LocalBook


@pytest.fixture
def book():
    b = LocalBook()
    b.replace([("0.5", 10), ("0.4", "2.50")], [("0.6", 7)])
    return b


def text(values):
    return [str(v) if not isinstance(v, tuple) else (str(v[0]), str(v[1])) for v in values]


@pytest.mark.parametrize("key", ["0.5", "0.50", "5e-1", Decimal("0.5"), 0.5])
def test_numerically_equal_keys_find_the_level(book, key):
    assert book.bids[key] == 10 and key in book.bids and book.bids.get(key) == 10
    assert str(book.bids.pop(key, 1, 2)) == "10"
    assert key not in book.bids and len(book.bids) == 1


def test_true_reads_price_one(book):
    book.asks[1] = 3
    assert book.asks[True] == 3 and True in book.asks


# None and tuples are keys too: the KeyError carries them as its one argument.
@pytest.mark.parametrize("key", ["x", "0.7", 0.45, "nan", None, (0, 4)])
def test_missing_or_unconvertible_keys(book, key, snapshot):
    before = snapshot(book)
    side = book.bids
    for action in (side.__getitem__, side.__delitem__, side.pop):
        with pytest.raises(KeyError) as info:
            action(key)
        assert info.value.args == (key,) and info.value.args[0] is key
    assert key not in side and side.get(key) is None and side.get(key, 7) == 7
    assert side.pop(key, 7) == 7
    with pytest.raises(TypeError) as info:
        side.pop(key, 7, 8)
    assert str(info.value) == "pop expected at most 2 arguments, got 3"
    assert snapshot(book) == before


def test_item_assignment_stores_sizes_unchanged(book):
    book.bids["0.50"] = 0
    book.bids["0.3"] = "-1.5"
    assert text(book.bids) == ["0.3", "0.4", "0.5"]
    assert text(book.bids.values()) == ["-1.5", "2.50", "0"]
    assert book.bids == {"0.3": "-1.5", "0.4": "2.5", "0.5": 0} and str(book.best_bid) == "0.5"
    book.set("bid", "0.5", 0)  # the book's own set removes instead
    assert "0.5" not in book.bids and len(book.bids) == 2


def test_reads_in_ascending_order(book):
    side = book.bids
    assert text(side.keys()) == ["0.4", "0.5"] and text(side.values()) == ["2.50", "10"]
    assert text(side.items()) == [("0.4", "2.50"), ("0.5", "10")]
    copied = side.copy()
    assert type(copied) is dict and text(copied.items()) == text(side.items())
    assert repr(side) == "{Decimal('0.4'): Decimal('2.50'), Decimal('0.5'): Decimal('10')}"
    assert repr(LocalBook().asks) == "{}"


class Items(Mapping):
    def __init__(self, data, fail=False):
        self.data, self.fail = data, fail

    def __getitem__(self, key):
        return self.data[key]

    def __iter__(self):
        if self.fail:
            raise LookupError("broken mapping")
        return iter(self.data)

    def __len__(self):
        return len(self.data)


@pytest.mark.parametrize(
    ("other", "equal"),
    [
        ({0.5: 10, 0.4: Decimal("2.5")}, True),
        ({"0.50": "10.0", "0.4": 2.5}, True),
        (Items({"0.5": 10, "0.4": "2.50"}), True),
        ({0.5: 10}, False),
        ({0.5: 10, 0.4: 3}, False),
        ({0.5: 10, 0.3: "2.50"}, False),
        ({"a": 1, "b": 2}, False),
        ({0.5: 10, 0.4: "x"}, False),
        ({0.5: 10, (0, 4): 2.5}, False),
        ([("0.5", 10), ("0.4", "2.50")], False),
        (None, False),
    ],
)
def test_equality_with_mappings(book, other, equal):
    assert (book.bids == other) is equal and (book.bids != other) is not equal
    assert (other == book.bids) is equal


def test_equality_between_views_and_unsupported_comparisons(book):
    other = LocalBook()
    other.bids = {"0.50": "10.00", "0.40": "2.5"}
    assert book.bids == other.bids and book.bids != book.asks
    assert book.bids.__eq__([]) is NotImplemented
    with pytest.raises(LookupError, match="broken mapping"):
        _ = book.bids == Items({1: 1, 2: 2}, fail=True)
    with pytest.raises(TypeError):
        _ = book.bids < book.asks


def test_views_are_unhashable(book):
    with pytest.raises(TypeError) as info:
        hash(book.bids)
    assert str(info.value) == "unhashable type: 'BookSide'"


def test_views_are_live(book):
    bids, again = book.bids, book.bids
    assert bids is not again and type(bids) is BookSide
    book.replace([], [("0.7", 1)])
    assert not bids and len(bids) == 0 and again == {}
    book.asks["0.8"] = 2
    assert len(book.asks) == 2


def test_iteration_walks_a_snapshot(book):
    for price in book.bids:
        del book.bids[price]
    assert book.bids == {} and not book.bids


def test_no_constructor_and_views_keep_their_book():
    with pytest.raises(TypeError):
        BookSide()
    book = LocalBook()
    book.set("ask", 1, 1)
    side = book.asks
    del book
    assert side == {1: 1}
