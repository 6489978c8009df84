"""Timing helpers shared by the benchmarks: best of several runs, printed as one line per case and
kept in RESULTS for run.py's table and chart."""

import timeit
from typing import NamedTuple


class Result(NamedTuple):
    group: str
    case: str
    ours_us: float
    python_us: float

    @property
    def ratio(self) -> float:
        return self.python_us / self.ours_us


RESULTS: list[Result] = []
group = ""  # the benchmark being run, set by run.py


def best_us(function, number: int, repeat: int = 5) -> float:
    """Best time of one call, in microseconds."""
    return min(timeit.repeat(function, number=number, repeat=repeat)) / number * 1e6


def record(case: str, ours_us: float, python_us: float) -> float:
    """Prints and keeps one case; returns the ratio (how many times faster ours is)."""
    result = Result(group, case, ours_us, python_us)
    RESULTS.append(result)
    print(
        f"{case:<40} ours={ours_us:9.3f}us  python={python_us:9.3f}us  ratio={result.ratio:7.1f}x"
    )
    return result.ratio


def compare(case: str, ours, python, number: int = 2000, repeat: int = 5) -> float:
    """Times both ways; their runs alternate, so that on a shared machine a burst of load slows
    both alike instead of skewing the ratio."""
    ours_runs, python_runs = [], []
    for _ in range(repeat):
        ours_runs.append(timeit.timeit(ours, number=number))
        python_runs.append(timeit.timeit(python, number=number))
    return record(case, min(ours_runs) / number * 1e6, min(python_runs) / number * 1e6)
