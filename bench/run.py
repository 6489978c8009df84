"""Runs every benchmark of this folder in one process and prints their ratios."""

import pathlib
import runpy
import sys

here = pathlib.Path(__file__).parent
selected = sys.argv[1:]
for script in sorted(here.glob("bench_*.py")):
    if selected and not any(name in script.stem for name in selected):
        continue
    print(f"# {script.stem}")
    runpy.run_path(str(script), run_name="__main__")
