"""Nothing is kept: not memory per life, not references to the host's objects.

The resident-size figures run tests/python/reliability_probe.py in a fresh
process; scripts/reliability.sh runs the longer rounds.
"""

import asyncio
import gc
import json
import os
import pathlib
import sys

import pytest

import sablewick_core as core
from builders import Record
from running import run_python

pytestmark = pytest.mark.slow

SANITIZED = bool(os.environ.get("SABLEWICK_SANITIZED"))
PROBE = pathlib.Path(__file__).resolve().with_name("reliability_probe.py")
MB = 2**20


def probe(mode, lives):
    done = run_python(PROBE, mode, str(lives), timeout=600)
    return json.loads(done.stdout.strip().splitlines()[-1])


# Under the sanitizers the resident size says nothing (shadow memory,
# quarantine) and lives run several times slower: there the rounds only
# run, for the sanitizers' sake.
@pytest.mark.parametrize("mode, lives", [("sync", 100_000), ("async", 10_000)])
def test_lives_with_every_session_method_leave_no_growth(mode, lives):
    if SANITIZED:
        probe(mode, lives // 20)
        return
    figures = probe(mode, lives)
    print(figures)
    assert figures["growth_bytes"] < 5 * MB, figures
    # The heap in use, blind to what the allocator keeps for reuse: a leak of
    # even ten bytes per life would show here.
    assert figures["heap_growth_bytes"] < 1 * MB, figures


def fresh(text):
    """A str that is not interned, so its reference count is its own."""
    return "".join(list(text))


def host_config():
    """A configuration of freshly made objects, records as dicts and as attribute objects."""
    big = 10**6 + 1  # not a cached small int
    talents = {
        1: {"id": 1, "name": fresh("Lucky"), "description": fresh("lucky"), "grade": 2,
            "condition": fresh("AGE?[1,2]"), "exclusive": True, "status": big, "max_triggers": 3,
            "effect": {"CHR": 1, "RDM": 2, "INT": float(big)}, "exclude": [2, 3],
            "replacement": {"grade": {fresh("1"): 2.5}, "talent": {fresh("2"): 1.5}}},
        fresh("2"): Record(id=2, name=fresh("Brave"), description=fresh("brave"), grade=1,
                           condition=fresh("AGE>3"), effect=Record(STR=2), exclude=(1,)),
        3: {"id": 3, "name": fresh("Odd"), "description": fresh("odd"), "grade": fresh("x"),
            "max_triggers": 2.5, "effect": 5, "exclude": [], "replacement": {}},
    }
    events = {
        10: {"id": 10, "event": fresh("Rain."), "grade": 1, "no_random": False,
             "include": fresh("AGE>0"), "exclude": fresh("AGE>90"), "postEvent": fresh(" Wet."),
             "effect": {"LIF": -1}, "branch": [{"condition": fresh("CHR>0"), "eventId": 11},
                                                Record(condition=fresh("AGE>1"), event_id=11)]},
        11: Record(id=11, event=fresh("Sun."), NoRandom=True, post_event=fresh(" Warm.")),
    }
    ages = {0: {"age": 0, "talents": [1, 2], "events": [(10, 1.5), [11, big], (10, 2, fresh("x"))]},
            fresh("1"): Record(age=1, talents=(3,), events=[(10, 1.0)])}
    achievements = {5: {"id": 5, "name": fresh("Wet"), "description": fresh("got wet"), "grade": fresh("2"),
                        "opportunity": fresh("TRAJECTORY"), "condition": fresh("EVT?[10]")}}
    judge = {fresh("HCHR"): [{"min": 0, "grade": 0, "text": fresh("low")},
                             Record(min=big, grade=3, text=fresh("high"))]}
    return {"talents": talents, "events": events, "ages": ages, "achievements": achievements,
            "judge": judge, fresh("unused"): [object()]}


def reachable(root):
    """Every object of the structure, each once (records, keys and values)."""
    seen, stack, out = set(), [root], []
    while stack:
        obj = stack.pop()
        if id(obj) in seen:
            continue
        seen.add(id(obj))
        out.append(obj)
        if isinstance(obj, dict):
            stack.extend(obj.keys())
            stack.extend(obj.values())
        elif isinstance(obj, (list, tuple, set, frozenset)):
            stack.extend(obj)
        elif isinstance(obj, Record):
            stack.append(vars(obj))
    return out


def counts(objects):
    return [sys.getrefcount(o) for o in objects]


def test_init_config_keeps_no_reference_to_the_hosts_objects():
    config = host_config()
    emoji = {0: fresh("o"), 1: fresh("b"), 2: fresh("p"), 10**6 + 7 - 10**6: fresh("x")}
    objects = reachable(config) + reachable(emoji)
    before = counts(objects)
    core.init_config(config, emoji)
    core.simulate_full_life([1, 2, 3], {"CHR": 1}, set())
    core.init_config(config)  # a replacement releases the old one
    assert counts(objects) == before


def broken(config, where):
    """The configuration made to fail at one late point of the load."""
    if where == "last_judge_level":
        config["judge"][next(iter(config["judge"]))].append({"min": 0, "grade": 0})
    elif where == "emoji_map":
        return config, {0: fresh("o"), 1: 5}
    elif where == "branch_target":
        config["events"][10]["branch"].append({"condition": fresh("AGE>0"), "event_id": fresh("7")})
    elif where == "age_pair":
        config["ages"][0]["events"].append((10,))
    elif where == "talent_key":
        config["talents"][fresh("x1")] = {"id": 1, "name": "n", "description": "d"}
    elif where == "missing_judge":
        del config["judge"]
    return config, None


@pytest.mark.parametrize("where", ["last_judge_level", "emoji_map", "branch_target", "age_pair",
                                   "talent_key", "missing_judge"])
def test_a_failing_load_releases_everything_it_read(where):
    config, emoji = broken(host_config(), where)
    objects = reachable(config) + reachable(emoji)
    before = counts(objects)
    with pytest.raises((TypeError, ValueError, KeyError)):
        core.init_config(config, emoji)
    assert counts(objects) == before


def simulation_arguments():
    return ([1, 2, 10**6 + 3], {fresh("CHR"): 10**6 + 1, fresh("INT"): 2}, {10**6 + 5, 5},
            {"tms": 10**6 + 9, "aevt": [10**6 + 4], "atlt": (1, 10**6 + 6), "cachv": 10**6 + 8})


def test_lives_keep_no_reference_to_their_arguments_and_sessions_none_to_themselves():
    core.init_config(host_config())
    talent_ids, properties, achieved, kwargs = simulation_arguments()
    objects = reachable([talent_ids, properties, achieved, kwargs])
    before = counts(objects)
    for _ in range(1_000):
        session = core.simulate_full_life(talent_ids, properties, achieved, **kwargs)
        assert sys.getrefcount(session) == 2
    del session

    async def lives(n):
        return await asyncio.gather(*(core.simulate_async(talent_ids, properties, achieved, **kwargs)
                                      for _ in range(n)))

    sessions = asyncio.run(lives(10_000))
    gc.collect()  # the loop's futures, which held the results too
    control = [object() for _ in range(3)]
    # Each session is held by the list alone, as a plain object would be.
    assert set(counts(sessions)) == set(counts(control))
    del sessions
    assert counts(objects) == before


def test_arguments_that_fail_conversion_are_released():
    core.init_config(host_config())
    talent_ids, properties, achieved, kwargs = simulation_arguments()
    bad = [
        ((talent_ids + [fresh("x")], properties, achieved), {}),
        ((talent_ids, {**properties, fresh("MNY"): 2**40}, achieved), {}),
        ((talent_ids, properties, achieved), {**kwargs, "cachv": None}),
        ((talent_ids, properties, list(achieved)), {}),
    ]
    objects = reachable(bad)
    before = counts(objects)
    for args, kw in bad:
        with pytest.raises((TypeError, OverflowError)):
            core.simulate_full_life(*args, **kw)

        async def call():
            return core.simulate_async(*args, **kw)

        with pytest.raises((TypeError, OverflowError)):
            asyncio.run(call())
    del args, kw, call
    assert counts(objects) == before
