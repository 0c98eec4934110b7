"""Running the module in this process and in a fresh interpreter.

The store is process-wide: every test that needs a configuration loads its
own, and a test that needs a process of its own (nothing loaded yet, a pool
or cache of its own, a fork or an exit) runs its code with run_python.
"""

import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

import sablewick_core as core

HELPERS = str(pathlib.Path(__file__).resolve().parent)


def life(config, talent_ids=(), **kwargs):
    """Loads `config` and simulates one life starting with LIF 1."""
    core.init_config(config, **kwargs)
    return core.simulate_full_life(list(talent_ids), {"LIF": 1}, set())


def first_line(session):
    return session.get_year(0)["display_text"]


def load_error(*args, **kwargs):
    """The exception init_config raises for these arguments."""
    with pytest.raises(Exception) as info:
        core.init_config(*args, **kwargs)
    return info.value


def run_python(program, *args, timeout=120, env=None, forbidden=()):
    """Runs `program` in a fresh interpreter with `args` as sys.argv[1:].

    `program` is source text (dedented, run with -c) or the Path of a script;
    it can import the helpers of this folder (builders, pool). `env`
    replaces the environment. The run must end with status 0 within
    `timeout` seconds, and its stderr hold none of the texts in `forbidden`;
    returns the completed process.
    """
    env = dict(os.environ if env is None else env)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [HELPERS, env.get("PYTHONPATH")]))
    if isinstance(program, pathlib.Path):
        command = [sys.executable, str(program), *args]
    else:
        command = [sys.executable, "-c", textwrap.dedent(program), *args]
    done = subprocess.run(command, capture_output=True, text=True, timeout=timeout, env=env,
                          check=False)
    for marker in forbidden:
        assert marker not in done.stderr, done.stderr[-3000:]
    assert done.returncode == 0, f"status {done.returncode}\n{done.stderr[-3000:]}"
    return done
