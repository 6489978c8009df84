"""Replays the decoder fuzz's kept cases with the ordinary tests (`make stress` runs the fuzz itself)."""

import json
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import fuzz_decoders as run  # noqa: E402

KEPT = sorted((HERE / "regressions").glob("*.json"))


@pytest.mark.parametrize("path", KEPT, ids=[p.stem for p in KEPT])
def test_kept_case(path):
    case = json.loads(path.read_text())
    assert run.run_case(case["decoder"], case["seed"], case["text"]) is None
