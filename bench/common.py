"""Timing helpers shared by the benchmarks: best of several runs, printed as one line per case."""

import timeit


def best_us(function, number: int, repeat: int = 5) -> float:
    """Best time of one call, in microseconds."""
    return min(timeit.repeat(function, number=number, repeat=repeat)) / number * 1e6


def compare(case: str, ours, python, number: int = 2000) -> float:
    ours_us = best_us(ours, number)
    python_us = best_us(python, number)
    ratio = python_us / ours_us
    print(f"{case:<40} ours={ours_us:9.3f}us  python={python_us:9.3f}us  ratio={ratio:7.1f}x")
    return ratio
