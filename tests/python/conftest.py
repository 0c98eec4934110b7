"""Builders shared by the configuration tests.

The store is process-wide: every test that needs a configuration loads its
own, and a test that needs a fresh process runs code in a subprocess.
"""

import subprocess
import sys

import pytest

import sablewick_core as core

COLLECTIONS = ("talents", "events", "ages", "achievements", "judge")


def make_config(**collections):
    config = {name: {} for name in COLLECTIONS}
    config.update(collections)
    return config


def talent(tid=1, **fields):
    return {"id": tid, "name": f"t{tid}", "description": f"talent {tid}", **fields}


def event(eid=1, **fields):
    return {"id": eid, "event": f"e{eid}", **fields}


def achievement(aid=1, **fields):
    record = {"id": aid, "name": f"a{aid}", "description": "d", "opportunity": "END",
              "condition": "AGE>0"}
    record.update(fields)
    return record


def level(minimum, grade, text):
    return {"min": minimum, "grade": grade, "text": text}


class Record:
    """A record read through attributes instead of dict items."""

    def __init__(self, **fields):
        self.__dict__.update(fields)


def ending_event(eid=1, **fields):
    """An event that ends the life of `life` in the year it happens."""
    return event(eid, effect={"LIF": -1}, **fields)


def one_year_config(**collections):
    """Age 0 draws event 1, which ends the life (LIF starts at 1)."""
    collections.setdefault("events", {1: ending_event(1)})
    collections.setdefault("ages", {0: {"age": 0, "events": [(1, 1.0)]}})
    return make_config(**collections)


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


def run_python(code):
    """Runs code in a fresh interpreter and returns its stdout."""
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60, check=False)
    assert done.returncode == 0, done.stderr
    return done.stdout
