"""Runs every benchmark of this folder in one process and prints their ratios. A full run (no
benchmark named on the command line) also writes results.md and results.png beside this file and
copies the table into README's Performance section."""

import os
import pathlib
import platform
import runpy
import sys

import common

here = pathlib.Path(__file__).parent
GROUPS = {
    "bench_book": "Book",
    "bench_kalshi_opinion": "Kalshi and Opinion",
    "bench_polymarket": "Polymarket",
    "bench_router": "Router",
    "bench_signing": "Signing",
}


def machine() -> str:
    model = "unknown CPU"
    for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = " ".join(line.split(":", 1)[1].split())
            break
    interpreter = f"{platform.python_implementation()} {platform.python_version()}"
    return (
        f"{model}, {os.cpu_count()} cores, {interpreter}, {platform.system()} {platform.machine()}"
    )


README = here.parent / "README.md"
TITLE = "# Benchmarks: orvane._core against the pure-Python way\n\n"
BEGIN, END = "<!-- bench/results.md -->\n", "<!-- end of bench/results.md -->\n"


def table(results: list[common.Result], where: str) -> str:
    load = os.getloadavg()[0]
    lines = [
        f"Measured on {where}; load average {load:.1f} at the end of the run.",
        "",
        "Each time is the best of several runs of one call; the ratio is how many times faster the",
        "module is than the same job done with orjson, decimal.Decimal, dict books and BookLevel",
        "records (eth-account for signing).",
        "",
        "| area | scenario | orvane._core | pure Python | ratio |",
        "|---|---|--:|--:|--:|",
    ]
    lines += [
        f"| {GROUPS[r.group]} | {r.case} | {r.ours_us:,.2f} µs | {r.python_us:,.2f} µs | {r.ratio:,.1f}x |"
        for r in results
    ]
    return "\n".join(lines) + "\n"


def chart(results: list[common.Result], where: str, path: pathlib.Path) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    colours = dict(zip(GROUPS, plt.get_cmap("tab10").colors, strict=False))
    rows = list(reversed(results))  # the first case at the top
    figure, axes = plt.subplots(figsize=(9, 1.2 + 0.27 * len(rows)))
    bars = axes.barh(
        range(len(rows)), [r.ratio for r in rows], color=[colours[r.group] for r in rows]
    )
    axes.bar_label(bars, labels=[f"{r.ratio:.1f}x" for r in rows], padding=3, fontsize=8)
    axes.set_yticks(range(len(rows)), [r.case for r in rows], fontsize=8)
    axes.set_xscale("log")
    axes.axvline(1, color="grey", linewidth=0.8)
    axes.set_xlabel("times faster than the pure-Python way (log scale)")
    axes.set_title(f"orvane._core speed-up per scenario\n{where}", fontsize=9)
    handles = [plt.Rectangle((0, 0), 1, 1, color=colours[g]) for g in GROUPS]
    axes.legend(handles, GROUPS.values(), loc="lower right", fontsize=8)
    axes.margins(x=0.15)
    figure.tight_layout()
    figure.savefig(path, dpi=110)


def main() -> None:
    selected = sys.argv[1:]
    for script in sorted(here.glob("bench_*.py")):
        if selected and not any(name in script.stem for name in selected):
            continue
        print(f"# {script.stem}")
        common.group = script.stem
        runpy.run_path(str(script), run_name="__main__")
    if not selected:
        where = machine()
        (here / "results.md").write_text(TITLE + table(common.RESULTS, where))
        chart(common.RESULTS, where, here / "results.png")
        update_readme()
        print("wrote bench/results.md, bench/results.png and README's copy of the table")


def update_readme() -> None:
    """README's Performance section shows results.md's table, between two markers."""
    text = README.read_text()
    start, end = text.index(BEGIN) + len(BEGIN), text.index(END)
    body = (here / "results.md").read_text().removeprefix(TITLE)
    README.write_text(text[:start] + body + text[end:])


if __name__ == "__main__":
    main()
