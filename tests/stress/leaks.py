"""Every public entry point, on success and on each failure path, called many times: Python's
allocated blocks, the C heap and the reference counts of arguments and results must stay flat.

    python tests/stress/leaks.py [--calls 10000]
"""

import argparse
import ctypes
import gc
import sys

from entry_points import ARGUMENTS, CALLS
from orvane.ws.base import BookLevel

FIELDS = "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost"


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in FIELDS.split()]


LIBC = ctypes.CDLL(None)
LIBC.mallinfo2.restype = MallInfo2


def c_heap():
    """Bytes the C allocator has handed out and not taken back, mapped chunks included."""
    info = LIBC.mallinfo2()
    return info.uordblks + info.hblkhd


def leaves(value):
    """The objects a result is made of that a lost reference would keep alive (small ints and the
    singletons are shared by everything)."""
    if isinstance(value, tuple | list):
        return [leaf for item in value for leaf in leaves(item)]
    if isinstance(value, dict):
        return [leaf for pair in value.items() for leaf in leaves(pair)]
    if isinstance(value, BookLevel):
        return [value.price, value.size]
    shared = value is None or isinstance(value, bool) or (isinstance(value, int) and value < 257)
    return [] if shared else [value]


def measure(call, calls):
    for _ in range(calls // 10):  # caches and free lists reach their steady size
        call()
    watched = [o for o in ARGUMENTS + leaves(call()) if sys.getrefcount(o) < 2**30]  # not immortal
    gc.collect()
    references = [sys.getrefcount(o) for o in watched]
    blocks, heap = sys.getallocatedblocks(), c_heap()
    for _ in range(calls):
        call()
    gc.collect()
    moved = zip(watched, references, [sys.getrefcount(o) for o in watched], strict=True)
    # fewer references is a result's object that the state let go of since
    moved = [(repr(o)[:40], after - before) for o, before, after in moved if after > before]
    return sys.getallocatedblocks() - blocks, c_heap() - heap, moved


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=10_000)
    args = parser.parse_args()
    # A leak of one block or a few bytes per call shows as growth in the thousands; what a steady
    # process still does (a dict resizing, an arena) stays well under these.
    block_limit, heap_limit = args.calls // 10, 8 * args.calls
    failed = 0
    for name, call in CALLS.items():
        blocks, heap, moved = measure(call, args.calls)
        ok = blocks < block_limit and heap < heap_limit and not moved
        failed += not ok
        print(
            f"{'ok  ' if ok else 'LEAK'} {name:34} blocks {blocks:+6} heap {heap:+9} {moved or ''}"
        )
    print(f"leaks: {len(CALLS) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
