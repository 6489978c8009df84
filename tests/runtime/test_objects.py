"""The Decimal and BookLevel objects the module hands out: caching, identity, and the references
every entry point keeps (none) of its arguments, over the stress table of calls; cycles through the
module's objects."""

import functools
import gc
import subprocess
import sys
import weakref
from concurrent.futures import ThreadPoolExecutor
from decimal import Decimal

import pytest

# One table of every entry point serves this check and the stress leak check.
from entry_points import ARGUMENTS, CALLS
from orvane._core import LocalBook, router_levels

CAPACITY = 1 << 14


def in_new_thread(work):
    """Runs `work` on a new thread, whose caches start empty; returns once that thread has ended."""
    with ThreadPoolExecutor(max_workers=1) as pool:
        return pool.submit(work).result()


def on_a_new_thread(test):  # so that no earlier test has left the cache close to full
    return functools.wraps(test)(lambda: in_new_thread(test))


def best_bid_of(price):
    book = LocalBook()
    book.set("bid", price, 1)
    return book.best_bid


def test_a_threads_cache_shares_objects_by_representation_until_the_thread_ends():
    def work():
        first = best_bid_of("0.5")
        count = sys.getrefcount(first)  # not inside the tuple display, which holds one more
        assert best_bid_of("0.5") is first and best_bid_of(Decimal("0.5")) is first
        other_scale = best_bid_of("0.50")
        assert other_scale is not first and str(other_scale) == "0.50"
        assert best_bid_of("-0.0") is not best_bid_of("0.0")
        book = LocalBook()
        book.replace([("0.5", "0.50")], [])
        ((level,), ()) = book.levels()
        assert level.price is first and level.size is other_scale
        return first, count

    first, count_in_thread = in_new_thread(work)
    # The thread's cache held one reference more than the local and the argument do now.
    assert sys.getrefcount(first) == count_in_thread - 1


def test_mapping_reads_and_write_results_are_new_objects():
    book = LocalBook()
    cached = best_bid_of("0.25")
    assert book.set("bid", "0.25", "0.25") is not cached
    assert book.add("bid", "0.25", 0) is not book.add("bid", "0.25", 0)
    side = book.bids
    assert side["0.25"] is not side["0.25"] and side["0.25"] is not cached
    assert side.keys()[0] is not cached and side.get("0.25") is not cached
    assert next(iter(side.copy())) is not cached and side.items()[0][1] is not cached


@on_a_new_thread
def test_a_full_cache_is_emptied_before_the_next_new_value():
    book = LocalBook()
    book.set("bid", "0.5", 1)
    kept = book.best_bid
    # The levels convert price then size: "1" and 16382 new prices fill the cache exactly.
    filler = LocalBook()
    filler.replace([(Decimal(i).scaleb(-9), 1) for i in range(1, CAPACITY - 1)], [])
    filler.levels()
    assert book.best_bid is kept
    book.set("ask", "123.456", 1)
    _ = book.best_ask
    assert book.best_bid is not kept and book.best_bid == kept


def test_cycles_through_books_views_and_ladders_are_collected():
    Marker = type("Marker", (), {})
    first, second, marker = LocalBook(), LocalBook(), Marker()
    first.sequence, first.timestamp = first.bids, Marker()
    second.timestamp, marker.book = marker, second
    market_id = type("MarketId", (str,), {})("a")
    market_id.levels = router_levels([(market_id, [])], lambda *_: 0, True)
    alive = [weakref.ref(o) for o in (first.timestamp, marker, market_id)]
    del first, second, marker, market_id
    gc.collect()
    assert [ref() for ref in alive] == [None, None, None]


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_calls_keep_no_references_to_arguments(call):
    call()
    before = [sys.getrefcount(o) for o in ARGUMENTS]
    for _ in range(20):
        call()
    assert [sys.getrefcount(o) for o in ARGUMENTS] == before


# Runs in a fresh interpreter, with its own BookLevel installed before the module first needs it;
# prints how many times BookLevel.__init__ ran for three records.
SCRIPT = """
import sys, types
base = types.ModuleType("orvane.ws.base")
exec({definition!r}, base.__dict__)
sys.modules["orvane.ws.base"] = base.__dict__.get("module", base)
from orvane._core import LocalBook
book = LocalBook()
assert book.levels() == ((), ())
book.replace([("0.5", 1), ("0.4", 2)], [("0.6", 3)])
try:
    bids, asks = book.levels()
except ImportError:
    sys.exit(print("ImportError"))
assert [str(r.price) for r in bids + asks] == ["0.5", "0.4", "0.6"]
assert bids[0].price is book.best_bid
print(len(base.calls))
"""
OTHER_SLOTS = """
calls = []
class BookLevel:
    __slots__ = ("size", "price")
    def __init__(self, price, size):
        calls.append(1)
        self.price, self.size = price, size
"""
DATACLASS = """
import dataclasses
from decimal import Decimal
calls = []
@dataclasses.dataclass(frozen=True{slots})
class BookLevel:
    price: Decimal
    size: Decimal{extra}
init = BookLevel.__init__
BookLevel.__init__ = lambda self, *args: (calls.append(1), init(self, *args))[1]
"""


def run_fresh(script):
    return subprocess.check_output([sys.executable, "-c", script], text=True).strip()


def test_a_replaced_decimal_class_is_called_as_a_class():
    script = """
import decimal
class Tagged(decimal.Decimal):
    def __init__(self, *args):
        self.tag = "init ran"
decimal.Decimal = Tagged
from orvane._core import LocalBook
book = LocalBook()
print(book.set("bid", "0.123456789", 2).tag, book.levels()[0][0].price.tag)
"""
    assert run_fresh(script) == "init ran init ran"


# (definition, what the script prints)
PATHS = {
    "other-slots": (OTHER_SLOTS, "3"),
    "extra-slot": (DATACLASS.format(slots=", slots=True", extra="\n    extra: int = 0"), "3"),
    "no-slots": (DATACLASS.format(slots="", extra=""), "3"),
    "direct": (DATACLASS.format(slots=", slots=True", extra=""), "0"),
    "no-module": ("module = None", "ImportError"),
}


@pytest.mark.parametrize(("definition", "output"), PATHS.values(), ids=PATHS.keys())
def test_record_construction_paths(definition, output):
    assert run_fresh(SCRIPT.format(definition=definition)) == output


# Results are filled by conversions that can collect garbage: a finaliser walking gc.get_objects()
# must never meet one with an empty slot (reading it read a null pointer). In a fresh interpreter,
# whose few objects keep the walks short.
FILLING = """
import gc, sys
from decimal import Decimal
from orvane._core import LocalBook, router_levels, router_view
N = 39  # no other live tuple or list is this long
book = LocalBook()
book.replace([], [(Decimal(1) + Decimal(i) / 10**9, Decimal(i)) for i in range(1, N + 1)])
make = {
    "view": lambda: router_view(book, True),
    "levels": book.levels,
    "walk": lambda: router_levels([("a", book.asks.items())], lambda *_: 0, True).walk(
        True, 10**6, 10**6, ()
    ),
}[sys.argv[1]]
class Peek:
    def __del__(self):
        for o in gc.get_objects():
            if type(o) in (tuple, list) and len(o) == N:
                repr(o[-1])
gc.disable()
for extra in range(1, 200):  # a collection at each point of the filling in turn
    gc.collect()
    for _ in range(3):
        cycle = Peek()
        cycle.self = cycle
    del cycle
    gc.set_threshold(gc.get_count()[0] + extra)
    gc.enable()
    make()
    gc.disable()
"""


@pytest.mark.parametrize("result", ["view", "levels", "walk"])
def test_a_finaliser_never_meets_a_result_being_filled(result):
    subprocess.run([sys.executable, "-c", FILLING, result], check=True)
