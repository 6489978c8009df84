"""Replays the decoder fuzz's kept cases, and a short fixed-seed run of it, with the ordinary tests."""

import json
import random
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import frames  # noqa: E402
import fuzz_decoders as run  # noqa: E402

KEPT = sorted((HERE / "regressions").glob("*.json"))


@pytest.mark.parametrize("path", KEPT, ids=[p.stem for p in KEPT])
def test_kept_case(path):
    case = json.loads(path.read_text())
    assert run.run_case(case["decoder"], case["seed"], case["text"]) is None


def test_short_run():
    rng = random.Random(20261206)
    for _ in range(300):
        decoder, seed = rng.choice(run.DECODERS), rng.getrandbits(64)
        text = frames.frame(random.Random(seed), decoder)
        assert run.run_case(decoder, seed, text) is None, (decoder, seed, text)
