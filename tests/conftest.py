"""Shared fixtures; hypothesis profiles "dev" (default) and "ci" (more examples, when CI is set)."""

import os
import sys
from pathlib import Path

import pytest
from hypothesis import settings

settings.register_profile("dev", max_examples=40, deadline=None)
settings.register_profile("ci", max_examples=400, deadline=None)
settings.load_profile("ci" if os.environ.get("CI") else "dev")

# The pure-Python models in reference/ are the oracle of many tests (and the benchmarks' baseline).
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
# The stress table of every entry point and the decoder fuzz's helpers serve the tests too.
sys.path[1:1] = [str(Path(__file__).resolve().parent / name) for name in ("stress", "fuzz")]


@pytest.fixture
def snapshot():
    """Everything observable of a book, as plain comparable values (the decoder fuzz's image)."""
    from fuzz_decoders import image

    return lambda book: image(({None: book}, None, None))
