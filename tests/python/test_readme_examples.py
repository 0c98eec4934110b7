"""Every Python example in the README runs as written from the repository root."""

import os
import subprocess
import sys

import pytest

from readme_blocks import ROOT, python_blocks

pytestmark = pytest.mark.slow

BLOCKS = python_blocks()


def test_readme_has_examples():
    # The load-simulate-read example, its asynchronous twin and a configuration
    # written from scratch at least.
    assert len(BLOCKS) >= 3


@pytest.mark.parametrize("source", BLOCKS, ids=[f"example_{n}" for n in range(1, len(BLOCKS) + 1)])
def test_readme_example_runs(source):
    env = dict(os.environ)
    env.pop("PYTHONPATH", None)
    done = subprocess.run([sys.executable, "-c", source], cwd=ROOT, env=env, capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout, "an example prints what it shows"
