"""README's Python blocks run as written; scripts/typecheck holds them to `mypy --strict`."""

import pathlib
import re
import runpy

import pytest

README = pathlib.Path(__file__).parents[1] / "README.md"
# No block found would be a skipped test, which scripts/run-pytest fails.
BLOCKS = re.findall(r"^```python\n(.*?)^```", README.read_text(), re.MULTILINE | re.DOTALL)


@pytest.mark.parametrize("block", BLOCKS, ids=[f"block{n}" for n in range(1, len(BLOCKS) + 1)])
def test_readme_block_runs(block, tmp_path):
    script = tmp_path / "block.py"
    script.write_text(block)
    runpy.run_path(str(script))
