"""The example game and its demo keep working."""

import os
import pathlib
import sys

import pytest

import sablewick_core as core
from running import run_python

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples")
sys.path.insert(0, EXAMPLES)

from config import LAST_AGE, build_config  # noqa: E402


def test_example_lives_end_by_the_last_age():
    core.init_config(build_config())
    for _ in range(50):
        session = core.simulate_full_life([1001, 1004, 1008], {"CHR": 5, "INT": 5, "STR": 5, "MNY": 5},
                                          set())
        assert session.is_ended
        assert 0 < session.total_years <= LAST_AGE + 1
        assert session.final_age <= LAST_AGE
        assert [j["property_type"] for j in session.get_summary()["judges"]] == [
            "HCHR", "HINT", "HSTR", "HMNY", "HSPR", "HAGE", "SUM"
        ]


@pytest.mark.slow
def test_demo_prints_a_life():
    out = run_python(pathlib.Path(EXAMPLES, "demo.py"), "--seed", "1", "--pages").stdout
    assert "Age   0" in out
    assert "Lived " in out and "total score" in out
    assert "SUM" in out
