"""Replays the decoder fuzz's kept cases with the ordinary tests (`make stress` runs the fuzz itself)."""

import json
from pathlib import Path

import fuzz_decoders as run
import pytest

KEPT = sorted((Path(__file__).resolve().parent / "regressions").glob("*.json"))


@pytest.mark.parametrize("path", KEPT, ids=[p.stem for p in KEPT])
def test_kept_case(path):
    case = json.loads(path.read_text())
    assert run.run_case(case["decoder"], case["seed"], case["text"]) is None
